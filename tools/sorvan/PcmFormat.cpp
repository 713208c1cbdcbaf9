#include "tools/sorvan/PcmFormat.h"

#include <algorithm>
#include <cmath>
#include <limits>

std::string PcmFormat::Describe() const {
    return std::to_string(rate) + " Hz, " + std::to_string(channels) +
           (channels == 1 ? " channel, " : " channels, ") + std::to_string(bits) + "-bit";
}

namespace {

// The sample starting at p, signed, scaled to 32 bits.
std::int64_t Sample(const std::byte* p, int bytes) {
    const auto b = [p](int i) { return static_cast<std::uint32_t>(p[i]); };
    switch (bytes) {
        case 1:
            return (static_cast<std::int64_t>(b(0)) - 128) << 24;
        case 2:
            return static_cast<std::int32_t>((b(0) << 16) | (b(1) << 24));
        case 3:
            return static_cast<std::int32_t>((b(0) << 8) | (b(1) << 16) | (b(2) << 24));
        default:
            return static_cast<std::int32_t>(b(0) | (b(1) << 8) | (b(2) << 16) | (b(3) << 24));
    }
}

}  // namespace

double PeakLevel(std::span<const std::byte> bytes, int bits) {
    const int width = bits / 8;
    if (width < 1 || width > 4) return 0.0;
    std::int64_t peak = 0;
    for (std::size_t at = 0; at + width <= bytes.size(); at += width)
        peak = std::max(peak, std::abs(Sample(bytes.data() + at, width)));
    return static_cast<double>(peak) / 2147483648.0;
}

double ToDbfs(double level) {
    if (level <= 0.0) return -std::numeric_limits<double>::infinity();
    return 20.0 * std::log10(level);
}
