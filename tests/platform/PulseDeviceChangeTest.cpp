// An open component is told of the server's device changes, once each and
// soon: a sink loaded and unloaded, the default sink moved; and of nothing
// while nothing changes. Each change prints how long its event took (run
// with --gtest_repeat to gather more).
#include <gtest/gtest.h>
#include <poll.h>

#include <chrono>
#include <cstdio>
#include <sstream>

#include "PulseTestServer.h"
#include "components/SorvanOut.h"
#include "framework/Forms.h"

namespace sorvan::pulsetest {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class PulseDeviceChange : public ::testing::Test {
  protected:
    void SetUp() override {
        SORVAN_USE_PULSE_OR_SKIP();
        out.OnDeviceChange = [this](TObject*) { told.push_back(Clock::now()); };
        ASSERT_TRUE(out.open()) << out.LastErrorText();
        pump(1500ms);
        told.clear();
    }

    void pump(std::chrono::milliseconds span) {
        for (const auto end = Clock::now() + span; Clock::now() < end;) {
            pollfd queue{MessageQueueDescriptor(), POLLIN, 0};
            poll(&queue, 1, 50);
            Application->ProcessMessages();
        }
    }

    // One event per change, within the promised half second of the command.
    template <class Change>
    void expectOneEvent(const char* what, Change change) {
        told.clear();
        change();
        const auto changed = Clock::now();
        pump(1500ms);
        ASSERT_EQ(told.size(), 1u) << what;
        const std::chrono::duration<double, std::milli> latency = told.front() - changed;
        std::printf("device change (%s) told after %.1f ms\n", what, latency.count());
        EXPECT_LT(latency, 500ms) << what;
    }

    TSorvanOut out{nullptr};
    std::vector<Clock::time_point> told;
};

TEST_F(PulseDeviceChange, ASinkLoadedAndUnloadedIsOneEventEach) {
    std::string module;
    expectOneEvent("sink loaded", [&] { module = loadNullSink("DeviceChangeSink"); });
    expectOneEvent("sink unloaded", [&] { unloadModule(module); });
    EXPECT_TRUE(out.IsOpen());
}

TEST_F(PulseDeviceChange, TheDefaultSinkMovedIsOneEvent) {
    std::istringstream defaultSink(pactl("get-default-sink")), sinks(pactl("list short sinks"));
    std::string before, other, number, name;
    defaultSink >> before;
    // Never the sink that feeds the microphone: PulseAudio would take the
    // tone's stream along when the default moves back, and later tests would
    // find the microphone silent.
    while (sinks >> number >> name && std::getline(sinks, number))
        if (name != before && name != "micFeed" && other.empty()) other = name;
    if (other.empty()) GTEST_SKIP() << "the server has a single sink";
    expectOneEvent("default moved", [&] { pactl("set-default-sink " + other); });
    expectOneEvent("default moved back", [&] { pactl("set-default-sink " + before); });
}

TEST_F(PulseDeviceChange, NothingIsToldWhileNothingChanges) {
    pump(5s);
    EXPECT_TRUE(told.empty());
}

}  // namespace
}  // namespace sorvan::pulsetest
