// The pulse driver tells an open component of the server's device changes:
// a sink loaded and unloaded, the default sink moved, and silence while
// nothing changes. Each change prints how long its event took; run with
// --gtest_repeat to gather more.
#include <gtest/gtest.h>
#include <poll.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "PulseTestServer.h"
#include "components/SorvanOut.h"
#include "framework/Forms.h"

namespace sorvan::pulsetest {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// The longest a change may take to be told; what is promised, with margin
// left below the time the test waits for a second, stray event.
constexpr auto Promised = 500ms;
constexpr auto WatchedAfterwards = 1500ms;

std::string trimmed(std::string text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
    return text;
}

class PulseDeviceChange : public ::testing::Test {
  protected:
    void SetUp() override {
        SORVAN_USE_PULSE_OR_SKIP();
        out = std::make_unique<TSorvanOut>(nullptr);
        out->SetChannels(2);
        out->SetSamples(48000);
        out->SetBits(16);
        out->OnDeviceChange = [this](TObject*) { told.push_back(Clock::now()); };
        ASSERT_TRUE(out->open()) << out->LastErrorText();
        // Whatever the open itself stirred up on the server is not a change.
        pump(WatchedAfterwards);
        told.clear();
    }

    // Handles this thread's messages for `span`, asleep on its queue in between.
    void pump(std::chrono::milliseconds span) {
        const auto end = Clock::now() + span;
        for (auto now = Clock::now(); now < end; now = Clock::now()) {
            pollfd queue{MessageQueueDescriptor(), POLLIN, 0};
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - now);
            poll(&queue, 1, static_cast<int>(left.count()));
            Application->ProcessMessages();
        }
    }

    // Makes the change, then expects exactly one event, soon enough.
    template <class Change>
    void expectOneEvent(const char* what, Change change) {
        told.clear();
        const auto started = Clock::now();
        change();
        const auto changed = Clock::now();
        pump(WatchedAfterwards);
        ASSERT_EQ(told.size(), 1u) << what;
        const auto latency = std::chrono::duration<double, std::milli>(told.front() - changed);
        std::printf(
            "device change (%s) told %.1f ms after the command returned (%.1f ms after it began)\n",
            what, latency.count(),
            std::chrono::duration<double, std::milli>(told.front() - started).count());
        EXPECT_LT(told.front() - changed, Promised) << what;
    }

    std::unique_ptr<TSorvanOut> out;
    std::vector<Clock::time_point> told;
};

TEST_F(PulseDeviceChange, ASinkLoadedAndUnloadedIsOneEventEach) {
    std::string module;
    expectOneEvent("sink loaded", [&] { module = loadNullSink("DeviceChangeSink"); });
    ASSERT_FALSE(module.empty());
    expectOneEvent("sink unloaded", [&] { unloadModule(module); });
    EXPECT_TRUE(out->IsOpen());
}

TEST_F(PulseDeviceChange, TheDefaultSinkMovedIsOneEvent) {
    const std::string before = trimmed(pactl("get-default-sink"));
    std::string other;
    std::istringstream sinks(pactl("list short sinks"));
    for (std::string line; std::getline(sinks, line);) {
        std::istringstream fields(line);
        std::string number, name;
        fields >> number >> name;
        if (!name.empty() && name != before) other = name;
    }
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
