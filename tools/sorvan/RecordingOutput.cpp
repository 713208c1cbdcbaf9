#include "tools/sorvan/RecordingOutput.h"

#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "components/WavFile.h"
#include "tools/sorvan/CliError.h"
#include "tools/sorvan/UniqueFd.h"

namespace {

struct TypeName {
    const char* name;
    FileType type;
};

constexpr std::array<TypeName, 11> TypeNames = {{
    {"wav", FileType::wav},
    {"wave", FileType::wav},
    {"flac", FileType::flac},
    {"ogg", FileType::ogg},
    {"oga", FileType::ogg},
    {"aiff", FileType::aiff},
    {"aif", FileType::aiff},
    {"au", FileType::au},
    {"caf", FileType::caf},
    {"w64", FileType::w64},
    {"raw", FileType::raw},
}};

std::string Lowered(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::optional<FileType> Find(const std::string& name) {
    const std::string wanted = Lowered(name);
    for (const auto& entry : TypeNames)
        if (wanted == entry.name) return entry.type;
    return std::nullopt;
}

std::string KnownTypes() {
    return "wav, flac, ogg, aiff, au, caf, w64 or raw";
}

void WriteAllTo(int fd, std::span<const std::byte> bytes, const std::string& name) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0)
            throw CliError("cannot write " + name + ": " +
                           SystemReason(written < 0 ? errno : ENOSPC));
        bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
}

// WAV files written by the capture component's writer. When one is full
// (the format's 4 GiB limit, or the length asked for) the recording goes on
// in the next numbered file, so a long recording loses nothing.
class WavFilesOutput final : public RecordingOutput {
  public:
    explicit WavFilesOutput(const OutputPlan& plan) : plan_(plan) {}
    ~WavFilesOutput() override { file_.Complete(); }

    void Write(std::span<const std::byte> bytes) override {
        while (!bytes.empty()) {
            if (!file_.IsOpen()) OpenNext();
            const std::uint64_t room = std::min<std::uint64_t>(file_.Room(), RoomByLength());
            if (room == 0) {
                file_.Complete();
                continue;
            }
            const auto part = bytes.first(static_cast<std::size_t>(
                std::min<std::uint64_t>(room, bytes.size())));
            file_.Append({reinterpret_cast<const char*>(part.data()), part.size()});
            if (file_.Stopped()) {
                const int error = file_.Error();
                file_.Complete();
                throw CliError("cannot write " + files_.back() + ": " + SystemReason(error));
            }
            bytes = bytes.subspan(part.size());
        }
    }

    void Finish() override { file_.Complete(); }
    std::vector<std::string> Files() const override { return files_; }

  private:
    std::uint64_t RoomByLength() const {
        if (!plan_.bytesPerFile) return UINT64_MAX;
        return *plan_.bytesPerFile - file_.DataSize();
    }

    void OpenNext() {
        std::string name = NumberedName(plan_.path, static_cast<int>(files_.size()) + 1);
        // A later file never replaces one that exists, unless asked to.
        for (int number = static_cast<int>(files_.size()) + 1;
             !files_.empty() && !plan_.replace && std::filesystem::exists(name);)
            name = NumberedName(plan_.path, ++number);
        const PcmFormat& f = plan_.format;
        if (!file_.Create(name, f.channels, f.rate, f.bits))
            throw CliError("cannot write " + name + ": " + SystemReason(file_.Error()));
        files_.push_back(name);
    }

    OutputPlan plan_;
    WavFile file_;
    std::vector<std::string> files_;
};

// A stream on stdout: raw bytes, or a WAV header first whose sizes say the
// length when it is known and the largest size otherwise (as arecord does).
class StdoutOutput final : public RecordingOutput {
  public:
    explicit StdoutOutput(const OutputPlan& plan) : plan_(plan) {}

    void Write(std::span<const std::byte> bytes) override {
        if (!headerWritten_ && plan_.type == FileType::wav) WriteHeader();
        headerWritten_ = true;
        WriteAllTo(STDOUT_FILENO, bytes, "stdout");
    }
    void Finish() override {}
    std::vector<std::string> Files() const override { return {}; }

  private:
    void WriteHeader() {
        const PcmFormat& f = plan_.format;
        auto header = WavHeader(f.channels, f.rate, f.bits);
        const std::uint64_t most = WavMaxDataBytes(static_cast<std::uint32_t>(f.BlockAlign()));
        const auto data = static_cast<std::uint32_t>(std::min(plan_.totalBytes.value_or(most), most));
        const auto put32 = [&](std::size_t at, std::uint32_t value) {
            for (int i = 0; i < 4; ++i) header[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
        };
        put32(WavDataSizeOffset, data);
        put32(WavRiffSizeOffset, data + static_cast<std::uint32_t>(WavHeaderSize - 8));
        WriteAllTo(STDOUT_FILENO, std::as_bytes(std::span(header)), "stdout");
    }

    OutputPlan plan_;
    bool headerWritten_ = false;
};

// Raw bytes exactly as the device gives them, as arecord -t raw writes them.
class RawOutput final : public RecordingOutput {
  public:
    explicit RawOutput(std::string path) : path_(std::move(path)) {}
    void Write(std::span<const std::byte> bytes) override {
        if (!file_) {
            file_ = UniqueFd(::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
            if (!file_) throw CliError("cannot write " + path_ + ": " + SystemReason(errno));
        }
        WriteAllTo(file_.get(), bytes, path_);
    }
    void Finish() override { file_ = UniqueFd(); }
    std::vector<std::string> Files() const override { return {path_}; }

  private:
    std::string path_;
    UniqueFd file_;
};

int SndfileFormat(FileType type, int bits) {
    const int pcm = bits == 8 ? SF_FORMAT_PCM_S8 : bits == 24 ? SF_FORMAT_PCM_24
                    : bits == 32                  ? SF_FORMAT_PCM_32
                                                  : SF_FORMAT_PCM_16;
    switch (type) {
        case FileType::flac:
            return SF_FORMAT_FLAC | pcm;
        case FileType::ogg:
            return SF_FORMAT_OGG | SF_FORMAT_VORBIS;
        case FileType::aiff:
            return SF_FORMAT_AIFF | pcm;
        case FileType::au:
            return SF_FORMAT_AU | pcm;
        case FileType::caf:
            return SF_FORMAT_CAF | pcm;
        case FileType::w64:
            return SF_FORMAT_W64 | (bits == 8 ? SF_FORMAT_PCM_U8 : pcm);
        default:
            return SF_FORMAT_RAW | (bits == 8 ? SF_FORMAT_PCM_U8 : pcm);
    }
}

// The other types, encoded by libsndfile from the device's PCM.
class SndfileOutput final : public RecordingOutput {
  public:
    explicit SndfileOutput(const OutputPlan& plan) : plan_(plan) {
        info_.samplerate = plan.format.rate;
        info_.channels = plan.format.channels;
        info_.format = SndfileFormat(plan.type, plan.format.bits);
        if (!sf_format_check(&info_))
            throw CliError("cannot write " + plan.path + ": this file type does not take " +
                           plan.format.Describe() + " audio");
    }
    ~SndfileOutput() override {
        if (file_) sf_close(file_);
    }

    void Write(std::span<const std::byte> bytes) override {
        if (!file_) {
            file_ = sf_open(plan_.path.c_str(), SFM_WRITE, &info_);
            if (!file_) throw CliError("cannot write " + plan_.path + ": " + sf_strerror(nullptr));
        }
        const int width = plan_.format.bits / 8;
        samples_.resize(bytes.size() / static_cast<std::size_t>(width));
        for (std::size_t i = 0; i < samples_.size(); ++i) {
            const std::byte* p = bytes.data() + i * static_cast<std::size_t>(width);
            std::uint32_t value = 0;
            for (int b = 0; b < width; ++b)
                value |= std::to_integer<std::uint32_t>(p[b]) << (32 - 8 * width + 8 * b);
            if (width == 1) value ^= 0x80000000u;  // WAV's 8-bit PCM is unsigned
            samples_[i] = static_cast<int>(value);
        }
        const auto frames = static_cast<sf_count_t>(samples_.size()) / info_.channels;
        if (sf_writef_int(file_, samples_.data(), frames) != frames)
            throw CliError("cannot write " + plan_.path + ": " + sf_strerror(file_));
    }

    void Finish() override {
        if (file_ && sf_close(file_) != 0) {
            file_ = nullptr;
            throw CliError("cannot complete " + plan_.path);
        }
        file_ = nullptr;
    }
    std::vector<std::string> Files() const override {
        return std::filesystem::exists(plan_.path) ? std::vector{plan_.path}
                                                   : std::vector<std::string>{};
    }

  private:
    OutputPlan plan_;
    SF_INFO info_{};
    SNDFILE* file_ = nullptr;
    std::vector<int> samples_;
};

// Whether the path can be written, without changing anything there.
void CheckTarget(const OutputPlan& plan) {
    const std::string& path = plan.path;
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0) {
        if (S_ISDIR(status.st_mode)) throw CliError(path + " is a folder");
        // A device or a pipe is written to, never replaced: no --force needed.
        if (!S_ISREG(status.st_mode)) return;
        if (!plan.replace) throw CliError(path + " already exists; use --force to replace it");
        UniqueFd file(::open(path.c_str(), O_WRONLY | O_CLOEXEC));
        if (!file) throw CliError("cannot write " + path + ": " + SystemReason(errno));
        return;
    }
    UniqueFd file(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (!file) throw CliError("cannot write " + path + ": " + SystemReason(errno));
    ::unlink(path.c_str());
}

}  // namespace

FileType TypeOfName(const std::string& path) {
    const std::string extension = std::filesystem::path(path).extension().string();
    if (extension.size() < 2) return FileType::wav;
    if (const auto type = Find(extension.substr(1))) return *type;
    throw CliError("cannot tell the file type of " + path + " from '" + extension +
                   "'; name it with one of " + KnownTypes() + ", or give -t TYPE");
}

FileType TypeNamed(const std::string& name) {
    if (const auto type = Find(name)) return *type;
    throw CliError("'" + name + "' is no file type (use " + KnownTypes() + ")");
}

std::string NumberedName(const std::string& path, int number) {
    if (number <= 1) return path;
    const std::filesystem::path name(path);
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "-%02d", number);
    return (name.parent_path() / (name.stem().string() + suffix + name.extension().string()))
        .string();
}

std::unique_ptr<RecordingOutput> OpenRecordingOutput(const OutputPlan& plan) {
    if (plan.path == "-") {
        if (plan.type != FileType::wav && plan.type != FileType::raw)
            throw CliError("only WAV and raw audio can go to stdout; use -t wav or -t raw");
        return std::make_unique<StdoutOutput>(plan);
    }
    CheckTarget(plan);
    if (plan.type == FileType::wav) return std::make_unique<WavFilesOutput>(plan);
    if (plan.type == FileType::raw) return std::make_unique<RawOutput>(plan.path);
    return std::make_unique<SndfileOutput>(plan);
}
