#include "platform/sim/SignalSource.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace sorvan::sim {

namespace {

// One sample of value -1..1 at `bits`, little-endian, 8-bit samples unsigned.
void putSample(double value, WORD bits, std::byte* out) {
    if (bits == 8) {
        out[0] = static_cast<std::byte>(static_cast<int>(std::lround(128.0 + value * 127.0)));
        return;
    }
    const double fullScale = std::ldexp(1.0, bits - 1) - 1.0;
    const auto sample = static_cast<std::int32_t>(std::lround(value * fullScale));
    const auto bitsOfSample = static_cast<std::uint32_t>(sample);
    for (int i = 0; i < bits / 8; ++i) out[i] = static_cast<std::byte>(bitsOfSample >> (8 * i));
}

}  // namespace

std::byte SignalSource::silenceByte() const {
    return format_.wBitsPerSample == 8 ? std::byte{0x80} : std::byte{0};
}

void SignalSource::restart() {
    bytesMade_ = 0;
    phase_ = 0.0;
}

void SignalSource::fill(const Signal& signal, std::span<std::byte> out) {
    switch (signal.kind) {
        case Signal::Kind::silence:
            std::fill(out.begin(), out.end(), silenceByte());
            break;
        case Signal::Kind::ramp:
            for (auto& byte : out) byte = static_cast<std::byte>(bytesMade_++);
            break;
        case Signal::Kind::sine:
            fillSine(signal, out);
            break;
        case Signal::Kind::bytes:
            fillBytes(signal, out);
            break;
    }
}

void SignalSource::fillSine(const Signal& signal, std::span<std::byte> out) {
    const std::size_t frameSize = format_.nBlockAlign;
    const std::size_t sampleSize = format_.wBitsPerSample / 8;
    const double step = signal.frequency / format_.nSamplesPerSec;
    const double amplitude = std::clamp(signal.amplitude, 0.0, 1.0);
    for (std::size_t frame = 0; frame + frameSize <= out.size(); frame += frameSize) {
        const double value = amplitude * std::sin(2.0 * std::numbers::pi * phase_);
        for (std::size_t sample = 0; sample < frameSize; sample += sampleSize) {
            putSample(value, format_.wBitsPerSample, out.data() + frame + sample);
        }
        phase_ = std::fmod(phase_ + step, 1.0);
    }
}

void SignalSource::fillBytes(const Signal& signal, std::span<std::byte> out) {
    const std::size_t size = signal.data.size();
    std::size_t done = 0;
    while (done < out.size()) {
        if (size == 0 || (!signal.repeat && bytesMade_ >= size)) {
            std::fill(out.begin() + done, out.end(), silenceByte());
            return;
        }
        const std::size_t from = bytesMade_ % size;
        const std::size_t count = std::min(size - from, out.size() - done);
        std::memcpy(out.data() + done, signal.data.data() + from, count);
        done += count;
        bytesMade_ += count;
    }
}

}  // namespace sorvan::sim
