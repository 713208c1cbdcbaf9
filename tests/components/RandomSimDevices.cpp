#include "RandomSimDevices.h"

#include <random>
#include <thread>

#include "platform/sim/Sim.h"

namespace randomseq {

namespace sim = sorvan::sim;

void SimDevices::SetUp(std::uint64_t seed) {
    std::mt19937_64 random(seed);
    // One to three inputs of 1, 2 and 8 channels, one or two outputs, one
    // without volume control. Like real devices (and unlike the virtual
    // devices' default), none takes a rate of gigahertz, which is what a
    // negative `samples` becomes.
    const sim::FormatFilter realRates = [](const WAVEFORMATEX& format) {
        return format.nSamplesPerSec <= 768000;
    };
    sim::Setup setup;
    const std::size_t inputs = 1 + random() % 3;
    const WORD channels[] = {1, 2, 8};
    for (std::size_t i = 0; i < inputs; ++i) {
        setup.inputs.push_back({.name = "In" + std::to_string(i),
                                .channels = channels[i],
                                .accepts = realRates,
                                .signal = sim::Signal::ramp()});
    }
    setup.outputs.push_back({.name = "Speaker", .accepts = realRates});
    if (random() % 2 == 0) {
        setup.outputs.push_back(
            {.name = "Mono", .channels = 1, .support = 0, .accepts = realRates});
    }
    setup.defaultInput = random() % inputs;
    setup.clock = realTime_ ? sim::Clock::realTime : sim::Clock::manual;
    inputs_ = setup.inputs.size();
    outputs_ = setup.outputs.size();
    sim::setUp(std::move(setup));
    injected_.clear();
}

void SimDevices::TearDown() {
    sim::tearDown();
}

void SimDevices::Advance(std::chrono::milliseconds duration) {
    if (realTime_) {
        std::this_thread::sleep_for(duration);
    } else {
        sim::advance(duration);
    }
}

bool SimDevices::FailNext(sorvan::wave::Fn fn, MMRESULT code, int count) {
    if (Pending(fn)) return false;
    injected_.push_back({fn, code, count, sim::log().size()});
    sim::failNext(fn, code, count);
    return true;
}

// A failure is used up by a logged call of its function that returned its
// code; the codes injected are ones the devices hardly ever return themselves.
bool SimDevices::Pending(sorvan::wave::Fn fn) const {
    const auto log = sim::log();
    for (const Injected& failure : injected_) {
        if (failure.fn != fn) continue;
        int used = 0;
        for (std::size_t i = failure.logged; i < log.size(); ++i) {
            if (log[i].call.fn == fn && log[i].result == failure.code) ++used;
        }
        if (used < failure.count) return true;
    }
    return false;
}

std::optional<std::size_t> SimDevices::AcceptedWrites(HWAVEOUT device) {
    std::size_t accepted = 0;
    for (const auto& c : sim::calls(sorvan::wave::Fn::waveOutWrite)) {
        if (c.call.handle == reinterpret_cast<UINT_PTR>(device) && c.result == MMSYSERR_NOERROR) {
            ++accepted;
        }
    }
    return accepted;
}

}  // namespace randomseq
