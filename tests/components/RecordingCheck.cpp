#include "RecordingCheck.h"

#include <sndfile.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>

namespace randomseq {

namespace {

std::uint32_t U32(const std::vector<unsigned char>& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | std::uint32_t{b[at + 3]} << 24;
}

std::uint16_t U16(const std::vector<unsigned char>& b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

}  // namespace

std::vector<std::string> CheckRecording(const std::filesystem::path& path,
                                        const std::vector<char>& delivered,
                                        const WAVEFORMATEX& format) {
    std::vector<std::string> problems;
    std::ifstream stream(path, std::ios::binary);
    const std::vector<unsigned char> bytes{std::istreambuf_iterator<char>(stream),
                                           std::istreambuf_iterator<char>()};
    if (bytes.size() < 44) return {"file of " + std::to_string(bytes.size()) + " bytes"};

    const std::size_t size = delivered.size();
    const unsigned align = (format.nChannels * format.wBitsPerSample) / 8u;
    if (std::string(bytes.begin(), bytes.begin() + 4) != "RIFF" ||
        std::string(bytes.begin() + 8, bytes.begin() + 16) != "WAVEfmt " ||
        std::string(bytes.begin() + 36, bytes.begin() + 40) != "data") {
        problems.push_back("not a canonical WAVE header");
    }
    if (U32(bytes, 40) != size || U32(bytes, 4) != size + 36 || bytes.size() != size + 44) {
        problems.push_back("data size " + std::to_string(U32(bytes, 40)) + ", RIFF size " +
                           std::to_string(U32(bytes, 4)) + ", length " +
                           std::to_string(bytes.size()) + " for " + std::to_string(size) +
                           " bytes delivered");
    }
    if (U16(bytes, 22) != format.nChannels || U32(bytes, 24) != format.nSamplesPerSec ||
        U16(bytes, 32) != align || U16(bytes, 34) != format.wBitsPerSample) {
        problems.push_back("header does not describe the recorded format");
    }
    if (bytes.size() >= size + 44 &&
        !std::equal(delivered.begin(), delivered.end(), bytes.begin() + 44,
                    [](char a, unsigned char b) { return static_cast<unsigned char>(a) == b; })) {
        problems.push_back("the data is not the bytes OnData got, in order");
    }

    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        problems.push_back("libsndfile refuses it: " + std::string(sf_strerror(nullptr)) + " (" +
                           std::to_string(U16(bytes, 22)) + " channels, " +
                           std::to_string(U32(bytes, 24)) + " Hz, " +
                           std::to_string(U16(bytes, 34)) + " bits)");
        return problems;
    }
    if (static_cast<std::uint64_t>(info.frames) * align != size) {
        problems.push_back("libsndfile reads " + std::to_string(info.frames) + " frames of " +
                           std::to_string(align) + " bytes for " + std::to_string(size) + " bytes");
    }
    sf_close(file);
    return problems;
}

}  // namespace randomseq
