// The random sequences of component calls on the alsa driver, against the
// test PCMs of the driver's own tests: paced devices that overrun, vanish or
// are held by another program, beside file and null PCMs. Device faults come
// from those PCMs; no wave call is made to fail. CTest runs a few; run it by
// hand for longer:
//   sorvan_random_components_alsa --seconds 600 --seed 1000
#include <chrono>
#include <thread>

#include "AlsaTestSetup.h"
#include "RandomRunner.h"

namespace {

class AlsaDevices final : public randomseq::Devices {
  public:
    std::string Name() const override { return "alsa"; }
    void SetUp(std::uint64_t) override {
        // A fresh driver per sequence: a PCM that vanished in the last one
        // is back.
        sorvan::alsatest::useTestDevices();
        inputs_ = waveInGetNumDevs();
        outputs_ = waveOutGetNumDevs();
    }
    void TearDown() override {}
    void Advance(std::chrono::milliseconds duration) override {
        std::this_thread::sleep_for(duration);
    }
    std::size_t Inputs() const override { return inputs_; }
    std::size_t Outputs() const override { return outputs_; }

  private:
    std::size_t inputs_ = 0;
    std::size_t outputs_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    AlsaDevices devices;
    const auto options = randomseq::ParseRunOptions(argc, argv, {.count = 6, .steps = 60});
    return randomseq::RunSequences(devices, options) == 0 ? 0 : 1;
}
