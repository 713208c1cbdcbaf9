#include "platform/pulse/Format.h"

#include <array>
#include <utility>

namespace sorvan::pulse {

pa_sample_format_t sampleFormatOf(WORD bits) {
    switch (bits) {
        case 8:
            return PA_SAMPLE_U8;
        case 16:
            return PA_SAMPLE_S16LE;
        case 24:
            return PA_SAMPLE_S24LE;
        case 32:
            return PA_SAMPLE_S32LE;
        default:
            return PA_SAMPLE_INVALID;
    }
}

pa_sample_spec specOf(const WAVEFORMATEX& format) {
    return {.format = sampleFormatOf(format.wBitsPerSample),
            .rate = format.nSamplesPerSec,
            .channels = static_cast<std::uint8_t>(format.nChannels)};
}

DWORD nativeFormats(std::uint32_t rate, std::uint8_t channels) {
    // Each rate's four bits: mono 8, stereo 8, mono 16, stereo 16.
    constexpr std::array<std::pair<std::uint32_t, DWORD>, 5> rates{{
        {11025, WAVE_FORMAT_1M08},
        {22050, WAVE_FORMAT_2M08},
        {44100, WAVE_FORMAT_4M08},
        {48000, WAVE_FORMAT_48M08},
        {96000, WAVE_FORMAT_96M08},
    }};
    for (const auto& [known, first] : rates) {
        if (known != rate) continue;
        const DWORD mono = first | (first << 2);
        return channels >= 2 ? mono | (first << 1) | (first << 3) : mono;
    }
    return 0;
}

}  // namespace sorvan::pulse
