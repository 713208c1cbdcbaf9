// The control API of the virtual devices, and the sim driver's registration.
#include "platform/sim/Sim.h"

#include <array>

#include "platform/sim/EnvironmentHooks.h"
#include "platform/sim/SimDriver.h"

namespace sorvan::sim {

namespace {

SimDriver& driver() {
    return *SimDriver::instance();
}

// Chosen by the environment (SORVAN_AUDIO=sim), the
// driver also takes its test hooks from there.
[[maybe_unused]] const bool registered = wave::registerDriver("sim", [] {
    applyEnvironmentHooks();
    return SimDriver::instance();
});

constexpr std::array<DWORD, 5> standardRates = {11025, 22050, 44100, 48000, 96000};

}  // namespace

FormatFilter onlyStandardFormats(DWORD bits) {
    return [bits](const WAVEFORMATEX& format) {
        if (format.nChannels > 2 || (format.wBitsPerSample != 8 && format.wBitsPerSample != 16)) {
            return false;
        }
        for (std::size_t rate = 0; rate < standardRates.size(); ++rate) {
            if (format.nSamplesPerSec != standardRates[rate]) continue;
            const unsigned bit =
                rate * 4 + (format.nChannels == 2 ? 1 : 0) + (format.wBitsPerSample == 16 ? 2 : 0);
            return (bits >> bit & 1) != 0;
        }
        return false;
    };
}

Setup defaultSetup() {
    return {.inputs = {{.signal = Signal::sine()}}, .outputs = {{}}, .clock = Clock::realTime};
}

void setUp(Setup setup) {
    driver().setUp(std::move(setup));
    wave::useDriver(SimDriver::instance());
}

void tearDown() {
    setUp({});
}

void plugInput(InputDevice device) {
    driver().plug(std::move(device));
}

void plugOutput(OutputDevice device) {
    driver().plug(std::move(device));
}

bool unplugInput(std::size_t index) {
    return driver().unplug(Direction::input, index);
}

bool unplugOutput(std::size_t index) {
    return driver().unplug(Direction::output, index);
}

void advance(std::chrono::nanoseconds duration) {
    driver().advance(duration);
}

std::vector<std::byte> played(std::size_t index) {
    return driver().played(index);
}

void clearPlayed(std::size_t index) {
    driver().clearPlayed(index);
}

void setSignal(std::size_t inputIndex, Signal signal) {
    driver().setSignal(inputIndex, std::move(signal));
}

void connect(std::size_t outputIndex, std::size_t inputIndex) {
    driver().connect(outputIndex, inputIndex);
}

void disconnect(std::size_t inputIndex) {
    driver().disconnect(inputIndex);
}

void failNext(Fn fn, MMRESULT code, int count, std::optional<std::size_t> device) {
    driver().failNext(fn, code, count, device);
}

std::vector<LoggedCall> log() {
    return driver().log();
}

void clearLog() {
    driver().clearLog();
}

std::vector<LoggedCall> calls(Fn fn) {
    std::vector<LoggedCall> matching;
    for (auto& entry : log()) {
        if (entry.call.fn == fn) matching.push_back(entry);
    }
    return matching;
}

}  // namespace sorvan::sim
