// The device-change broadcast: every window of every thread, once per
// burst; and virtual devices unplugged keep the default on its device.
#include <gtest/gtest.h>
#include <poll.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "WaveTestSupport.h"
#include "platform/sim/Sim.h"
#include "platform/wave/DeviceChanges.h"

namespace sorvan::wavetest {
namespace {

std::atomic<int> changesSeen{0};

LRESULT CountChanges(HWND, UINT msg, WPARAM wParam, LPARAM) {
    if (msg == WM_DEVICECHANGE && wParam == 0x0007) ++changesSeen;
    return 0;
}

// Dispatches this thread's messages until well past a burst.
void Settle() {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(400);
    while (std::chrono::steady_clock::now() < end) {
        pollfd queue{MessageQueueDescriptor(), POLLIN, 0};
        poll(&queue, 1, 50);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    }
}

TEST(DeviceChangeBroadcast, EveryLiveWindowOfEveryThreadIsToldOncePerBurst) {
    const HWND here = CreateMessageWindow(&CountChanges, 0);
    DestroyWindow(CreateMessageWindow(&CountChanges, 0));
    std::thread other([] {
        const HWND there = CreateMessageWindow(&CountChanges, 0);
        for (int change = 0; change < 5; ++change) wave::devicesChanged();
        Settle();
        DestroyWindow(there);
    });
    Settle();
    other.join();
    DestroyWindow(here);
    EXPECT_EQ(changesSeen, 2);
    // Nor is the broadcast's own handle ever a window's.
    for (int made = 0; made < 0x10000; ++made) {
        const HWND window = CreateMessageWindow(&CountChanges, 0);
        ASSERT_NE(window, HWND_BROADCAST);
        DestroyWindow(window);
    }
}

TEST(DeviceChangeBroadcast, AnUnpluggedVirtualDeviceLeavesTheDefaultOnItsDevice) {
    sim::Session session(
        {.outputs = {{.name = "Speakers"}, {.name = "Headphones"}}, .defaultOutput = 1});
    ASSERT_TRUE(sim::unplugOutput(0));
    WAVEOUTCAPSA caps{};
    ASSERT_EQ(waveOutGetDevCapsA(WAVE_MAPPER, &caps, sizeof caps), MMSYSERR_NOERROR);
    EXPECT_STREQ(caps.szPname, "Headphones");
    Settle();
}

}  // namespace
}  // namespace sorvan::wavetest
