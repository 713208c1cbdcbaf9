#include "SoundCheck.h"

#include <cstring>

#include "CliRunner.h"

std::optional<SoundInfo> InspectSound(const std::filesystem::path& path) {
    SoundInfo sound;
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &sound.info);
    if (!file) return std::nullopt;
    char log[8192] = {};
    sf_command(file, SFC_GET_LOG_INFO, log, sizeof log);
    sound.cutShort = std::strstr(log, "(should be") != nullptr;
    sf_close(file);
    return sound;
}

std::vector<short> DecodeShorts(const std::filesystem::path& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) return {};
    std::vector<short> samples;
    std::vector<short> chunk(4096 * info.channels);
    sf_count_t got = 0;
    while ((got = sf_readf_short(file, chunk.data(), 4096)) > 0)
        samples.insert(samples.end(), chunk.begin(), chunk.begin() + got * info.channels);
    sf_close(file);
    return samples;
}

bool WavSizesMatchLength(const std::filesystem::path& path) {
    const auto bytes = ReadBytes(path);
    return bytes.size() >= 44 && Le32At(bytes, 4) == bytes.size() - 8 &&
           Le32At(bytes, 40) == bytes.size() - 44;
}
