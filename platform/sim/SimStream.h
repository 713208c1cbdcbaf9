// One open virtual device: moves frames between its device and the core.
// Every method but the DriverStream ones runs with the SimDriver's mutex held.
#pragma once

#include <chrono>
#include <memory>
#include <vector>

#include "platform/sim/SignalSource.h"
#include "platform/sim/SimDriver.h"

namespace sorvan::sim {

class SimStream final : public wave::DriverStream {
  public:
    SimStream(SimDriver& driver, std::shared_ptr<InputState> input,
              std::shared_ptr<OutputState> output, const WAVEFORMATEX& format,
              wave::StreamHost& host);
    ~SimStream() override;

    MMRESULT start() override;
    MMRESULT stop() override;
    void dataQueued() override;

    bool isOutput() const { return output_ != nullptr; }
    // Moves the frames of `duration` at the stream's rate.
    void advance(std::chrono::nanoseconds duration);
    // Real time: moves the frames since the last call (or since started).
    void catchUp(std::chrono::steady_clock::time_point now);
    void markStarted(std::chrono::steady_clock::time_point now) { lastTick_ = now; }
    // Free-running: fills every queued buffer / plays every queued block.
    void drain();

  private:
    // Moves up to `bytes` (at most one scratch buffer); returns the bytes moved.
    std::size_t moveOnce(std::size_t bytes);
    void produce(std::span<std::byte> out);
    void record(std::span<const std::byte> bytes);

    SimDriver& driver_;
    const std::shared_ptr<InputState> input_;
    const std::shared_ptr<OutputState> output_;
    const WAVEFORMATEX format_;
    wave::StreamHost& host_;
    SignalSource source_;
    unsigned signalGeneration_;
    std::vector<std::byte> scratch_;  // whole frames, allocated once
    std::uint64_t frameTime_ = 0;     // nanoseconds x rate not yet turned into frames
    std::chrono::steady_clock::time_point lastTick_;
};

}  // namespace sorvan::sim
