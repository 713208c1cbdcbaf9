// The system tells every top-level window of a device change; the
// components' hidden windows must be among them, and answer as it expects.
#include <gtest/gtest.h>

#include "components/SorvanIn.h"
#include "components/SorvanOut.h"
#include "framework/Forms.h"

namespace {

constexpr WPARAM DBT_DEVNODES_CHANGED = 0x0007;

// Whether this system has a desktop for top-level windows (Wine without a
// display has none, and no broadcast either).
bool HasDesktop() {
    HWND window = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    if (window == nullptr) return false;
    DestroyWindow(window);
    return true;
}

TEST(DeviceChangeOnSystem, TheComponentsHearTheSystemsBroadcast) {
    if (!HasDesktop()) GTEST_SKIP() << "no desktop here: no window is told of device changes";
    TSorvanIn in(nullptr);
    TSorvanOut out(nullptr);
    int told = 0;
    in.OnDeviceChange = [&](TObject*) { ++told; };
    out.OnDeviceChange = [&](TObject*) { ++told; };
    // As the system does it: sent, not posted, to every top-level window;
    // windows of this thread are called at once.
    DWORD_PTR answer = 0;
    SendMessageTimeoutA(HWND_BROADCAST, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0, SMTO_ABORTIFHUNG,
                        2000, &answer);
    EXPECT_EQ(told, 2);
}

}  // namespace
