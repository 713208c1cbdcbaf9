#include "tools/sorvan/SoundFileReader.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "tools/sorvan/CliError.h"
#include "tools/sorvan/QuietStderr.h"
#include "tools/sorvan/StopSignal.h"
#include "tools/sorvan/UniqueFd.h"
#include "tools/sorvan/WavLayout.h"

namespace {

int NaturalBits(int format) {
    switch (format & SF_FORMAT_SUBMASK) {
        case SF_FORMAT_PCM_S8:
        case SF_FORMAT_PCM_U8:
            return 8;
        case SF_FORMAT_PCM_24:
            return 24;
        case SF_FORMAT_PCM_32:
        case SF_FORMAT_FLOAT:
        case SF_FORMAT_DOUBLE:
            return 32;
        default:
            return 16;
    }
}

bool IsFloat(int format) {
    const int subtype = format & SF_FORMAT_SUBMASK;
    return subtype == SF_FORMAT_FLOAT || subtype == SF_FORMAT_DOUBLE;
}

// libsndfile reads a header that promises more than the file holds, notes it
// in its log ("data : 16000 (should be 7956)", "SSND : ..." in AIFF, "Data
// Size : ..." in AU) and plays on. It notes other fields it corrects the same
// way ("Bytes/sec : 66150 (should be 88200)"): those lose no audio.
bool LogSaysCutShort(SNDFILE* file) {
    char log[8192] = {};
    sf_command(file, SFC_GET_LOG_INFO, log, sizeof log);
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);) {
        line.erase(0, line.find_first_not_of(' '));
        const bool audioSize =
            line.starts_with("data") || line.starts_with("Data Size") || line.starts_with("SSND");
        if (audioSize && line.find("(should be") != std::string::npos) return true;
    }
    return false;
}

// Why libsndfile could not open a file that exists, from its error number
// (its global message can be left over from an earlier call).
std::string OpenFailureReason(int error) {
    switch (error) {
        case SF_ERR_UNRECOGNISED_FORMAT:
            return "unknown format";
        case SF_ERR_MALFORMED_FILE:
            return "damaged file";
        case SF_ERR_UNSUPPORTED_ENCODING:
            return "unsupported encoding";
        default:
            return "not a format it knows";
    }
}

bool IsFifo(int fd) {
    struct stat status {};
    return ::fstat(fd, &status) == 0 && S_ISFIFO(status.st_mode);
}

void PutLe(std::byte* at, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) at[i] = static_cast<std::byte>(value >> (8 * i));
}

// Frames per read: enough for smooth playback, and bounded whatever rate
// or channel count a file claims.
constexpr sf_count_t MaxFramesPerRead = 65536;

}  // namespace

SoundFileReader::SoundFileReader(std::string path) : path_(std::move(path)) {
    if (path_ == "-") {
        path_ = "stdin";
        if (IsFifo(STDIN_FILENO)) WaitForWriter(STDIN_FILENO);
        QuietStderr quiet;
        file_.reset(sf_open_fd(STDIN_FILENO, SFM_READ, &info_, SF_FALSE));
        if (!file_)
            throw CliError("stdin holds no audio this program can read (" +
                           OpenFailureReason(sf_error(nullptr)) + ")");
    } else {
        // The system names a missing or unreadable file better than libsndfile
        // does. Without O_NONBLOCK, opening a FIFO that no program writes to
        // yet would wait where a stop signal cannot end the wait.
        UniqueFd probe(::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
        if (!probe) throw CliError("cannot open " + path_ + ": " + SystemReason(errno));
        struct stat status {};
        if (::fstat(probe.get(), &status) == 0 && S_ISDIR(status.st_mode))
            throw CliError(path_ + " is a folder, not an audio file");
        if (S_ISFIFO(status.st_mode)) {
            OpenFifo(std::move(probe));
        } else {
            {
                QuietStderr quiet;
                file_.reset(sf_open(path_.c_str(), SFM_READ, &info_));
            }
            if (!file_)
                throw CliError(path_ + " is not an audio file this program can read (" +
                               OpenFailureReason(sf_error(nullptr)) + ")");
            if ((info_.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_WAV) OpenUnfinishedWav();
        }
        if (LogSaysCutShort(file_.get()))
            warnings_.push_back(path_ + " is truncated: it holds less audio than its header says");
    }
    floatSamples_ = IsFloat(info_.format);
    if (info_.frames == 0) throw CliError(path_ + " holds no audio");
    // MPEG streams give an estimate, not a count.
    const bool estimate = (info_.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_MPEG;
    if (info_.frames != SF_COUNT_MAX && info_.frames > 0 && !estimate) frames_ = info_.frames;

    natural_ = {
        .channels = info_.channels, .rate = info_.samplerate, .bits = NaturalBits(info_.format)};
    bits_ = natural_.bits;
}

// Reads the FIFO through the descriptor already open: opening it again could
// wait for a writer that has come and gone, leaving its audio in the FIFO.
void SoundFileReader::OpenFifo(UniqueFd fifo) {
    WaitForWriter(fifo.get());
    ::fcntl(fifo.get(), F_SETFL, ::fcntl(fifo.get(), F_GETFL) & ~O_NONBLOCK);
    fifo_ = std::move(fifo);
    {
        QuietStderr quiet;
        file_.reset(sf_open_fd(fifo_.get(), SFM_READ, &info_, SF_FALSE));
    }
    if (!file_)
        throw CliError(path_ + " holds no audio this program can read (" +
                       OpenFailureReason(sf_error(nullptr)) + ")");
}

// Waits until the FIFO holds data or its writer has come and gone, looking
// for a stop signal at least ten times a second.
void SoundFileReader::WaitForWriter(int fd) const {
    for (;;) {
        pollfd ready{.fd = fd, .events = POLLIN, .revents = 0};
        const int result = ::poll(&ready, 1, 100);
        if (StopRequested())
            throw Interrupted("stopped by " + StopSignalName() +
                              " while waiting for a program to write to " + path_);
        if (result > 0 || (result < 0 && errno != EINTR)) return;
    }
}

void SoundFileReader::OpenUnfinishedWav() {
    UniqueFd file(::open(path_.c_str(), O_RDONLY | O_CLOEXEC));
    std::optional<WavLayout> layout;
    try {
        layout = ReadWavLayout(file.get(), path_);
    } catch (const CliError&) {
        return;  // not a plain PCM WAV: libsndfile judges those
    }
    if (!layout->IsUnfinished()) return;
    // The sizes say nothing: the frames present are read as raw PCM.
    SF_INFO raw{};
    raw.samplerate = static_cast<int>(layout->sampleRate);
    raw.channels = layout->channels;
    const int width = layout->bitsPerSample <= 8 ? SF_FORMAT_PCM_U8
                      : layout->bitsPerSample <= 16 ? SF_FORMAT_PCM_16
                      : layout->bitsPerSample <= 24 ? SF_FORMAT_PCM_24
                                                    : SF_FORMAT_PCM_32;
    raw.format = SF_FORMAT_RAW | width | SF_ENDIAN_LITTLE;
    SNDFILE* rawFile = sf_open(path_.c_str(), SFM_READ, &raw);
    if (!rawFile) return;
    file_.reset(rawFile);
    sf_count_t offset = static_cast<sf_count_t>(layout->dataOffset);
    sf_command(rawFile, SFC_SET_RAW_START_OFFSET, &offset, sizeof offset);
    info_ = raw;
    info_.frames = static_cast<sf_count_t>(layout->BytesPresent() / layout->blockAlign);
    info_.format = SF_FORMAT_WAV | width;
    warnings_.push_back(path_ + " is an unfinished recording; playing what it holds ('sorvan repair " +
                        path_ + "' completes it)");
}

std::vector<PcmFormat> SoundFileReader::CandidateFormats() const {
    std::vector<PcmFormat> formats{natural_};
    for (const int bits : {16, 24, 32, 8}) {
        if (bits == natural_.bits) continue;
        PcmFormat format = natural_;
        format.bits = bits;
        formats.push_back(format);
    }
    return formats;
}

std::size_t SoundFileReader::FramesPerRead(double seconds) const {
    auto frames = static_cast<sf_count_t>(std::max(1.0, natural_.rate * seconds));
    frames = std::min(frames, MaxFramesPerRead);
    if (frames_) frames = std::min<sf_count_t>(frames, *frames_);
    return static_cast<std::size_t>(std::max<sf_count_t>(frames, 1));
}

void SoundFileReader::PackInts(std::span<std::byte> out, std::size_t samples, int width) const {
    for (std::size_t i = 0; i < samples; ++i) {
        const auto value = static_cast<std::uint32_t>(ints_[i]);
        if (width == 1)
            out[i] = static_cast<std::byte>((value >> 24) ^ 0x80);  // WAV's 8-bit is unsigned
        else
            PutLe(out.data() + width * i, value >> (32 - 8 * width), width);
    }
}

std::size_t SoundFileReader::Read(std::span<std::byte> out) {
    if (ended_) return 0;
    const int channels = info_.channels;
    const int width = bits_ / 8;
    const sf_count_t wanted = std::min(
        static_cast<sf_count_t>(out.size() / static_cast<std::size_t>(width * channels)),
        MaxFramesPerRead);
    if (wanted == 0) return 0;
    const std::size_t samples = static_cast<std::size_t>(wanted) * static_cast<std::size_t>(channels);

    sf_count_t got = 0;
    QuietStderr quiet;
    if (floatSamples_) {
        // Full scale is 1.0; libsndfile's integer reads of float data would
        // either cut it to 0 and 1 or scale it to the file's own peak.
        floats_.resize(samples);
        ints_.resize(samples);
        got = sf_readf_float(file_.get(), floats_.data(), wanted);
        for (std::size_t i = 0; i < static_cast<std::size_t>(got) * channels; ++i)
            ints_[i] = static_cast<int>(
                std::clamp(std::lround(static_cast<double>(floats_[i]) * 2147483648.0),
                           long{INT32_MIN}, long{INT32_MAX}));
        PackInts(out, static_cast<std::size_t>(got) * channels, width);
    } else if (bits_ == 16) {
        // libsndfile's own 16-bit decoding, so the bytes match what it gives any program.
        shorts_.resize(samples);
        got = sf_readf_short(file_.get(), shorts_.data(), wanted);
        for (std::size_t i = 0; i < static_cast<std::size_t>(got) * channels; ++i)
            PutLe(out.data() + 2 * i, static_cast<std::uint16_t>(shorts_[i]), 2);
    } else {
        ints_.resize(samples);
        got = sf_readf_int(file_.get(), ints_.data(), wanted);
        PackInts(out, static_cast<std::size_t>(got) * channels, width);
    }
    framesRead_ += got;
    if (got < wanted) {
        // What is there has been played; the rest gets one warning.
        ended_ = true;
        if (sf_error(file_.get()) != SF_ERR_NO_ERROR)
            warnings_.push_back(path_ + " is damaged or truncated after " +
                                std::to_string(framesRead_) + " frames");
        else if (frames_ && framesRead_ < *frames_ && warnings_.empty())
            warnings_.push_back(path_ + " is truncated: it ends after " +
                                std::to_string(framesRead_) + " of " + std::to_string(*frames_) +
                                " frames");
    }
    return static_cast<std::size_t>(got) * channels * width;
}
