// Produces an input device's frames for one stream: the signal's position
// (ramp count, sine phase, bytes played) belongs to the stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/sim/Sim.h"

namespace sorvan::sim {

class SignalSource {
  public:
    explicit SignalSource(const WAVEFORMATEX& format) : format_(format) {}

    // Fills `out` (whole frames) with the next frames of `signal`.
    void fill(const Signal& signal, std::span<std::byte> out);
    // Starts the signal over, e.g. when the device's signal is replaced.
    void restart();

    // Silence in the stream's format: 0x80 for 8-bit samples, else 0.
    std::byte silenceByte() const;

  private:
    void fillSine(const Signal& signal, std::span<std::byte> out);
    void fillBytes(const Signal& signal, std::span<std::byte> out);

    WAVEFORMATEX format_;
    std::uint64_t bytesMade_ = 0;  // ramp and given bytes
    double phase_ = 0.0;           // sine, in cycles
};

}  // namespace sorvan::sim
