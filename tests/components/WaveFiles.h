// Reading recording files back: as plain bytes, and through readers written
// elsewhere (libsndfile, sox) that judge whether a file is a valid WAVE file.
#pragma once

#include <sndfile.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace wavefiles {

inline std::vector<std::uint8_t> Bytes(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

inline std::uint32_t U32(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return bytes.at(at) | bytes.at(at + 1) << 8 | bytes.at(at + 2) << 16 |
           std::uint32_t{bytes.at(at + 3)} << 24;
}

inline std::uint16_t U16(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return static_cast<std::uint16_t>(bytes.at(at) | bytes.at(at + 1) << 8);
}

struct SndfileView {
    int channels = 0;
    int samplerate = 0;
    int format = 0;
    std::vector<char> data;  // the sample bytes exactly as stored
};

// Empty when libsndfile refuses the file.
inline std::optional<SndfileView> ReadWithSndfile(const std::filesystem::path& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) return std::nullopt;
    SndfileView view{info.channels, info.samplerate, info.format, {}};
    std::vector<char> chunk(4096 * static_cast<std::size_t>(info.channels));
    for (;;) {
        const sf_count_t got =
            sf_read_raw(file, chunk.data(), static_cast<sf_count_t>(chunk.size()));
        if (got <= 0) break;
        view.data.insert(view.data.end(), chunk.begin(), chunk.begin() + got);
    }
    sf_close(file);
    return view;
}

// The number of sample frames soxi reports; empty when it refuses the file.
inline std::optional<long long> SoxiSamples(const std::filesystem::path& path) {
    const std::string command = std::string(SORVAN_SOXI) + " -V1 -s '" + path.string() + "' 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return std::nullopt;
    long long samples = -1;
    const int matched = std::fscanf(pipe, "%lld", &samples);
    if (pclose(pipe) != 0 || matched != 1) return std::nullopt;
    return samples;
}

inline bool SoxiAvailable() {
    return std::string(SORVAN_SOXI).size() > 0;
}

// Lowers the process's file size limit for a scope, with SIGXFSZ ignored so
// that a write past the limit fails (or is cut short) instead of ending the
// process: a file system that refuses to store more.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        rlimit lowered = saved_;
        lowered.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lowered);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previous_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  private:
    rlimit saved_{};
    void (*previous_)(int) = nullptr;
};

// A fresh folder for one test, removed with everything in it afterwards.
class ScratchFolder {
  public:
    ScratchFolder() {
        path_ = std::filesystem::temp_directory_path() /
                ("sorvan-test-" + std::to_string(getpid()) + "-" + std::to_string(next()++));
        std::filesystem::create_directories(path_);
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

  private:
    static int& next() {
        static int counter = 0;
        return counter;
    }
    std::filesystem::path path_;
};

}  // namespace wavefiles
