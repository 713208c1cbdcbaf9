// Device changes as windows see them: the broadcast reaches every window of
// every thread, once per burst; virtual devices plugged in and out change
// the lists and keep the default on its device.
#include <gtest/gtest.h>
#include <poll.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "WaveTestSupport.h"
#include "platform/sim/Sim.h"
#include "platform/wave/DeviceChanges.h"

namespace sorvan::wavetest {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::atomic<int> changesSeen{0};

LRESULT CountChanges(HWND, UINT msg, WPARAM wParam, LPARAM) {
    if (msg == WM_DEVICECHANGE && wParam == 0x0007) ++changesSeen;
    return 0;
}

// Dispatches this thread's messages for a while, well past a burst.
void Settle() {
    const auto end = Clock::now() + 400ms;
    for (auto now = Clock::now(); now < end; now = Clock::now()) {
        pollfd queue{MessageQueueDescriptor(), POLLIN, 0};
        poll(&queue, 1, static_cast<int>((end - now) / 1ms) + 1);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    }
}

class DeviceChangeBroadcast : public ::testing::Test {
  protected:
    void SetUp() override { changesSeen = 0; }
    void TearDown() override { sim::tearDown(); }
};

TEST_F(DeviceChangeBroadcast, EveryWindowOfEveryThreadIsToldOncePerBurst) {
    const HWND here = CreateMessageWindow(&CountChanges, 0);
    const HWND gone = CreateMessageWindow(&CountChanges, 0);
    DestroyWindow(gone);
    std::thread other([] {
        const HWND there = CreateMessageWindow(&CountChanges, 0);
        const HWND alsoThere = CreateMessageWindow(&CountChanges, 0);
        for (int change = 0; change < 5; ++change) wave::devicesChanged();
        Settle();
        DestroyWindow(there);
        DestroyWindow(alsoThere);
    });
    Settle();
    other.join();
    DestroyWindow(here);
    EXPECT_EQ(changesSeen, 3);
}

TEST_F(DeviceChangeBroadcast, TheBroadcastHandleIsNeverAWindowsOwn) {
    for (int made = 0; made < 0x10000; ++made) {
        const HWND window = CreateMessageWindow(&CountChanges, 0);
        ASSERT_NE(window, HWND_BROADCAST);
        DestroyWindow(window);
    }
}

TEST_F(DeviceChangeBroadcast, PluggedDevicesJoinTheListAndTheDefaultStaysOnItsDevice) {
    const HWND window = CreateMessageWindow(&CountChanges, 0);
    sim::Session session(
        {.outputs = {{.name = "Speakers"}, {.name = "Headphones"}}, .defaultOutput = 1});
    sim::plugOutput({.name = "Headset"});
    EXPECT_EQ(waveOutGetNumDevs(), 3u);
    WAVEOUTCAPSA caps{};
    ASSERT_EQ(waveOutGetDevCapsA(2, &caps, sizeof caps), MMSYSERR_NOERROR);
    EXPECT_STREQ(caps.szPname, "Headset");

    ASSERT_TRUE(sim::unplugOutput(0));
    EXPECT_FALSE(sim::unplugOutput(2));
    ASSERT_EQ(waveOutGetDevCapsA(WAVE_MAPPER, &caps, sizeof caps), MMSYSERR_NOERROR);
    EXPECT_STREQ(caps.szPname, "Headphones");
    Settle();
    DestroyWindow(window);
    EXPECT_EQ(changesSeen, 1) << "a plug and an unplug in one burst";
}

}  // namespace
}  // namespace sorvan::wavetest
