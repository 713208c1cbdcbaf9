// The contract tests on the alsa driver, on a device paced by the clock.
#include <string_view>
#include <thread>

#include "AlsaTestSetup.h"
#include "WaveContract.h"

namespace sorvan::wavetest {
namespace {

// This driver reports a block done as its last frame goes to the device,
// which takes a block shorter than its free buffer at once: such a block
// may be done before waveOutWrite's caller looks at its flags, where this
// contract test expects it still queued. The order of the DONEs is checked
// by AlsaDriverTest and AlsaFaultTest instead.
bool expectsBlocksToStayQueued() {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    return std::string_view(test->name()).starts_with("BlocksAreDoneInWriteOrder");
}

ContractTarget alsaTarget() {
    return {
        .name = "PacedDevice",
        .setUp =
            [] {
                if (expectsBlocksToStayQueued()) {
                    GTEST_SKIP() << "blocks are done as they reach the device";
                }
                alsatest::useTestDevices();
            },
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
