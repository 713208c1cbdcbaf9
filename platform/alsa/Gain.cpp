#include "platform/alsa/Gain.h"

#include <cstdint>

namespace sorvan::alsa {

namespace {

constexpr std::int64_t unity = 0xFFFF;

std::int32_t load(const std::byte* p, std::size_t width) {
    switch (width) {
        case 1:
            return static_cast<std::int32_t>(std::to_integer<std::uint8_t>(p[0])) - 128;
        case 2:
            return static_cast<std::int16_t>(std::to_integer<std::uint16_t>(p[0]) |
                                             std::to_integer<std::uint16_t>(p[1]) << 8);
        case 3: {
            const std::uint32_t raw = std::to_integer<std::uint32_t>(p[0]) |
                                      std::to_integer<std::uint32_t>(p[1]) << 8 |
                                      std::to_integer<std::uint32_t>(p[2]) << 16;
            // Moves the 24-bit sign into bit 31, then back with the sign kept.
            return static_cast<std::int32_t>(raw << 8) >> 8;
        }
        default:
            return static_cast<std::int32_t>(std::to_integer<std::uint32_t>(p[0]) |
                                             std::to_integer<std::uint32_t>(p[1]) << 8 |
                                             std::to_integer<std::uint32_t>(p[2]) << 16 |
                                             std::to_integer<std::uint32_t>(p[3]) << 24);
    }
}

void store(std::byte* p, std::size_t width, std::int32_t sample) {
    auto value = static_cast<std::uint32_t>(width == 1 ? sample + 128 : sample);
    for (std::size_t i = 0; i < width; ++i) {
        p[i] = static_cast<std::byte>(value & 0xFF);
        value >>= 8;
    }
}

}  // namespace

void applyVolume(std::span<std::byte> frames, const WAVEFORMATEX& format, DWORD volume) {
    const std::int64_t left = volume & 0xFFFF;
    const std::int64_t right = volume >> 16;
    if (left == unity && right == unity) return;
    const std::size_t width = format.wBitsPerSample / 8;
    const std::size_t channels = format.nChannels;
    if (width == 0 || channels == 0) return;
    const std::size_t samples = frames.size() / width;
    for (std::size_t i = 0; i < samples; ++i) {
        std::byte* p = frames.data() + i * width;
        const std::int64_t gain = (i % channels) % 2 == 0 ? left : right;
        store(p, width, static_cast<std::int32_t>(load(p, width) * gain / unity));
    }
}

}  // namespace sorvan::alsa
