// What libsndfile and the WAV header say about a file the program wrote.
#pragma once

#include <sndfile.h>

#include <filesystem>
#include <optional>
#include <vector>

struct SoundInfo {
    SF_INFO info{};
    bool cutShort = false;  // the header promises more than the file holds
};

// Empty when libsndfile cannot open the file.
std::optional<SoundInfo> InspectSound(const std::filesystem::path& path);

// Every sample as libsndfile decodes it to 16 bits.
std::vector<short> DecodeShorts(const std::filesystem::path& path);

// Both size fields of a canonical 44-byte-header WAV agree with its length.
bool WavSizesMatchLength(const std::filesystem::path& path);
