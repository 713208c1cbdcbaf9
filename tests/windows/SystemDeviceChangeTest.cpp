// The system sends a device change to every top-level window: the
// components' hidden windows are among them where there is a desktop.
#include <gtest/gtest.h>

#include "components/SorvanIn.h"
#include "components/SorvanOut.h"
#include "framework/Forms.h"

TEST(DeviceChangeOnSystem, TheComponentsHearTheSystemsBroadcast) {
    if (HWND probe = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, nullptr, nullptr,
                                     GetModuleHandleA(nullptr), nullptr))
        DestroyWindow(probe);
    else
        GTEST_SKIP() << "no desktop here (Wine without a display): no window hears broadcasts";
    TSorvanIn in(nullptr);
    TSorvanOut out(nullptr);
    int told = 0;
    in.OnDeviceChange = [&](TObject*) { ++told; };
    out.OnDeviceChange = [&](TObject*) { ++told; };
    DWORD_PTR answer = 0;
    SendMessageTimeoutA(HWND_BROADCAST, WM_DEVICECHANGE, 0x0007, 0, SMTO_ABORTIFHUNG, 2000,
                        &answer);
    EXPECT_EQ(told, 2);
}
