#include "tools/sorvan/SoundFileReader.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "tools/sorvan/CliError.h"
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

// libsndfile reads a header that promises more than the file holds, notes it
// in its log ("data : 16000 (should be 7956)") and plays on.
bool LogSaysCutShort(SNDFILE* file) {
    char log[8192] = {};
    sf_command(file, SFC_GET_LOG_INFO, log, sizeof log);
    return std::strstr(log, "(should be") != nullptr;
}

// libsndfile's wording without its "Error : " prefix and final stop.
std::string LibraryReason(SNDFILE* file) {
    std::string reason = sf_strerror(file);
    if (reason.starts_with("Error : ")) reason.erase(0, 8);
    while (!reason.empty() && (reason.back() == '.' || reason.back() == '\n')) reason.pop_back();
    return reason;
}

void PutLe(std::byte* at, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) at[i] = static_cast<std::byte>(value >> (8 * i));
}

}  // namespace

SoundFileReader::SoundFileReader(std::string path) : path_(std::move(path)) {
    // The system names a missing or unreadable file better than libsndfile does.
    UniqueFd probe(::open(path_.c_str(), O_RDONLY | O_CLOEXEC));
    if (!probe) throw CliError("cannot open " + path_ + ": " + SystemReason(errno));
    struct stat status {};
    if (::fstat(probe.get(), &status) == 0 && S_ISDIR(status.st_mode))
        throw CliError(path_ + " is a folder, not an audio file");

    file_.reset(sf_open(path_.c_str(), SFM_READ, &info_));
    if (!file_)
        throw CliError(path_ + " is not an audio file this program can read (" +
                       LibraryReason(nullptr) + ")");
    if ((info_.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_WAV) RejectUnfinishedWav();
    if (LogSaysCutShort(file_.get()))
        throw CliError(path_ + " is truncated: it holds less audio than its header says");
    if (info_.frames == 0) throw CliError(path_ + " holds no audio");
    if (info_.frames != SF_COUNT_MAX) frames_ = info_.frames;

    natural_ = {
        .channels = info_.channels, .rate = info_.samplerate, .bits = NaturalBits(info_.format)};
    bits_ = natural_.bits;
}

void SoundFileReader::RejectUnfinishedWav() const {
    UniqueFd file(::open(path_.c_str(), O_RDONLY | O_CLOEXEC));
    std::optional<WavLayout> layout;
    try {
        layout = ReadWavLayout(file.get(), path_);
    } catch (const CliError&) {
        return;  // not a plain PCM WAV: libsndfile judges those
    }
    if (layout->dataSize == 0 && layout->BytesPresent() > 0)
        throw CliError(path_ + " is an unfinished recording; complete it with 'sorvan repair " +
                       path_ + "'");
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

std::size_t SoundFileReader::Read(std::span<std::byte> out) {
    const int channels = info_.channels;
    const int width = bits_ / 8;
    const sf_count_t wanted = static_cast<sf_count_t>(out.size() / (width * channels));
    if (wanted == 0) return 0;
    const std::size_t samples = static_cast<std::size_t>(wanted) * channels;

    sf_count_t got = 0;
    if (bits_ == 16) {
        // libsndfile's own 16-bit decoding, so the bytes match what it gives any program.
        shorts_.resize(samples);
        got = sf_readf_short(file_.get(), shorts_.data(), wanted);
        for (std::size_t i = 0; i < static_cast<std::size_t>(got) * channels; ++i)
            PutLe(out.data() + 2 * i, static_cast<std::uint16_t>(shorts_[i]), 2);
    } else {
        ints_.resize(samples);
        got = sf_readf_int(file_.get(), ints_.data(), wanted);
        for (std::size_t i = 0; i < static_cast<std::size_t>(got) * channels; ++i) {
            const auto value = static_cast<std::uint32_t>(ints_[i]);
            if (width == 1)
                out[i] = static_cast<std::byte>((value >> 24) ^ 0x80);  // WAV's 8-bit is unsigned
            else
                PutLe(out.data() + width * i, value >> (32 - 8 * width), width);
        }
    }
    framesRead_ += got;
    if (got < wanted) {
        if (sf_error(file_.get()) != SF_ERR_NO_ERROR)
            throw CliError(path_ + " is damaged or truncated (" + LibraryReason(file_.get()) + ")");
        if (frames_ && framesRead_ < *frames_)
            throw CliError(path_ + " is truncated: it ends after " + std::to_string(framesRead_) +
                           " of " + std::to_string(*frames_) + " frames");
    }
    return static_cast<std::size_t>(got) * channels * width;
}
