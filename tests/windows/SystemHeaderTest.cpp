// The framework's RegisterClass and the system's macro of the same name live
// side by side: callers write RegisterClass for either, in any include order,
// with the narrow or the wide-character API.
#include <gtest/gtest.h>

#include <windows.h>

#include "SystemHeaders.h"
#include "components/Sorvan.h"
#include "framework/ClassRegistry.h"

namespace {

TEST(SystemHeaders, FrameworkRegisterClassWorksInEitherIncludeOrder) {
    UnRegisterClass(TSorvanIn::StaticClass());
    UnRegisterClass(TSorvanOut::StaticClass());
    RegisterWithSystemHeadersFirst(TSorvanIn::StaticClass());
    RegisterWithSystemHeadersLast(TSorvanOut::StaticClass());
    EXPECT_EQ(GetClass("TSorvanIn"), &TSorvanIn::StaticClass());
    EXPECT_EQ(GetClass("TSorvanOut"), &TSorvanOut::StaticClass());

    UnRegisterClass(TSorvanIn::StaticClass());
    RegisterWithUnicodeSystemHeaders(TSorvanIn::StaticClass());
    EXPECT_EQ(GetClass("TSorvanIn"), &TSorvanIn::StaticClass());
}

LRESULT CALLBACK IgnoreMessages(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProc(window, message, wParam, lParam);
}

TEST(SystemHeaders, SystemRegisterClassStillRegistersWindowClasses) {
    WNDCLASS windowClass{};
    windowClass.lpfnWndProc = IgnoreMessages;
    windowClass.hInstance = GetModuleHandle(nullptr);
    windowClass.lpszClassName = TEXT("SorvanHeaderTestWindow");
    const ATOM atom = RegisterClass(&windowClass);
    ASSERT_NE(atom, 0);
    EXPECT_TRUE(UnregisterClass(windowClass.lpszClassName, windowClass.hInstance));
}

}  // namespace
