// The PCM stream format the commands talk about, and the sample arithmetic
// they need: frame sizes, durations, and the peak level of a block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

struct PcmFormat {
    int channels = 2;
    int rate = 44100;
    int bits = 16;  // 8 (unsigned, as WAV stores it), 16, 24 (packed) or 32

    int BlockAlign() const { return channels * bits / 8; }
    std::uint64_t BytesPerSecond() const { return std::uint64_t(BlockAlign()) * rate; }
    double Seconds(std::uint64_t bytes) const {
        return static_cast<double>(bytes) / static_cast<double>(BytesPerSecond());
    }
    // "44100 Hz, 2 channels, 16-bit"
    std::string Describe() const;
};

// The largest absolute sample in `bytes` as a fraction of full scale (0..1).
double PeakLevel(std::span<const std::byte> bytes, int bits);

// A level as dBFS, with silence reported as -inf.
double ToDbfs(double level);
