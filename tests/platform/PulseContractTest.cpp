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
        .tearDown = [] {},
        .passTime =
            [](std::chrono::milliseconds duration) { std::this_thread::sleep_for(duration); },
        .format = pcmFormat(2, 48000, 16),
    };
}

INSTANTIATE_TEST_SUITE_P(Pulse, WaveContract, ::testing::Values(pulseTarget()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace sorvan::wavetest
