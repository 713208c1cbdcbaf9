// The contract tests on the alsa driver, on a device paced by the clock.
#include <thread>

#include "AlsaTestSetup.h"
#include "WaveContract.h"

namespace sorvan::wavetest {
namespace {

ContractTarget alsaTarget() {
    return {
        .name = "PacedDevice",
        .setUp = [] { alsatest::useTestDevices(); },
        .tearDown = [] {},
        .passTime =
            [](std::chrono::milliseconds duration) { std::this_thread::sleep_for(duration); },
        .format = pcmFormat(2, 44100, 16),
    };
}

INSTANTIATE_TEST_SUITE_P(Alsa, WaveContract, ::testing::Values(alsaTarget()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace sorvan::wavetest
