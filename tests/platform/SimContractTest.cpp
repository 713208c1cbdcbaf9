// The contract tests run on virtual devices, with a manual and a real-time clock.
#include <thread>

#include "WaveContract.h"
#include "platform/sim/Sim.h"

namespace sorvan::wavetest {
namespace {

sim::Setup contractDevices(sim::Clock clock) {
    return {
        .inputs = {{.name = "Contract In", .signal = sim::Signal::ramp()},
                   {.name = "Contract In Mono", .channels = 1}},
        .outputs = {{.name = "Contract Out"},
                    {.name = "Contract Out Mono", .channels = 1, .support = WAVECAPS_VOLUME},
                    {.name = "Contract Out Fixed", .support = 0}},
        .clock = clock,
    };
}

ContractTarget simTarget(std::string name, sim::Clock clock) {
    ContractTarget target{
        .name = std::move(name),
        .setUp = [clock] { sim::setUp(contractDevices(clock)); },
        .tearDown = [] { sim::tearDown(); },
        .format = pcmFormat(2, 44100, 16),
    };
    if (clock == sim::Clock::manual) {
        target.passTime = [](std::chrono::milliseconds duration) { sim::advance(duration); };
    } else {
        target.passTime = [](std::chrono::milliseconds duration) {
            std::this_thread::sleep_for(duration);
        };
    }
    return target;
}

INSTANTIATE_TEST_SUITE_P(Sim, WaveContract,
                         ::testing::Values(simTarget("ManualClock", sim::Clock::manual),
                                           simTarget("RealTime", sim::Clock::realTime)),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace sorvan::wavetest
