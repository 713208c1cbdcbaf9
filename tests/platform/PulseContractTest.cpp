// The contract tests on the pulse driver, on the test server's devices.
#include <thread>

#include "PulseTestServer.h"
#include "WaveContract.h"

namespace sorvan::wavetest {
namespace {

ContractTarget pulseTarget() {
    return {
        .name = "SoundServer",
        .setUp = [] { SORVAN_USE_PULSE_OR_SKIP(); },
        .tearDown = [] { pulsetest::restoreLevels(); },
        // The server moves frames a graph cycle (up to 2048 frames) at a
        // time: a wait long enough for frames to move also waits that out.
        .passTime =
            [](std::chrono::milliseconds duration) {
                const auto cycle = duration >= std::chrono::milliseconds(10)
                                       ? std::chrono::milliseconds(45)
                                       : std::chrono::milliseconds(0);
                std::this_thread::sleep_for(duration + cycle);
            },
        .format = pcmFormat(2, 48000, 16),
    };
}

INSTANTIATE_TEST_SUITE_P(Pulse, WaveContract, ::testing::Values(pulseTarget()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace sorvan::wavetest
