// The random sequences on the virtual devices: a manual clock, every wave
// call open to injected failures, and the call log to count accepted blocks.
#pragma once

#include <vector>

#include "RandomDevices.h"

namespace randomseq {

class SimDevices final : public Devices {
  public:
    // With realTime the devices move on a thread of their own, as real ones
    // do, and Advance waits.
    explicit SimDevices(bool realTime = false) : realTime_(realTime) {}

    std::string Name() const override { return "sim"; }
    void SetUp(std::uint64_t seed) override;
    void TearDown() override;
    void Advance(std::chrono::milliseconds duration) override;
    std::size_t Inputs() const override { return inputs_; }
    std::size_t Outputs() const override { return outputs_; }
    bool CanInjectFailures() const override { return true; }
    bool FailNext(sorvan::wave::Fn fn, MMRESULT code, int count) override;
    std::optional<std::size_t> AcceptedWrites(HWAVEOUT device) override;

  private:
    struct Injected {
        sorvan::wave::Fn fn;
        MMRESULT code;
        int count;
        std::size_t logged;  // calls logged before the injection
    };
    // Whether an injected failure of fn may not have been used up yet.
    bool Pending(sorvan::wave::Fn fn) const;

    std::vector<Injected> injected_;
    bool realTime_;
    std::size_t inputs_ = 0;
    std::size_t outputs_ = 0;
};

}  // namespace randomseq
