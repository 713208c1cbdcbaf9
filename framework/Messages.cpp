#include "framework/Messages.h"

#include <exception>
#include <memory>

#include "framework/Forms.h"

namespace {

TWndMethod* methodOf(HWND window) {
    return reinterpret_cast<TWndMethod*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

// An exception must not cross the system's dispatch: it is reported here and
// the loop goes on.
void callReportingExceptions(const TWndMethod& method, TMessage& message) {
    try {
        method(message);
    } catch (Exception& e) {
        Application->HandleException(method.Data(), e);
    } catch (const std::exception& e) {
        Exception wrapped(e.what());
        Application->HandleException(method.Data(), wrapped);
    } catch (...) {
        Exception wrapped("unknown exception");
        Application->HandleException(method.Data(), wrapped);
    }
}

LRESULT CALLBACK StdWndProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    const TWndMethod* method = methodOf(window);
    if (method == nullptr) return DefWindowProcA(window, msg, wParam, lParam);
    TMessage message{msg, wParam, lParam, 0};
    callReportingExceptions(*method, message);
    return message.Result;
}

#ifdef _WIN32
const char* utilWindowClass() {
    static const char* const name = [] {
        WNDCLASSA cls{};
        cls.lpfnWndProc = StdWndProc;
        cls.hInstance = GetModuleHandleA(nullptr);
        cls.lpszClassName = "TPUtilWindow";
        RegisterClassA(&cls);
        return cls.lpszClassName;
    }();
    return name;
}

HWND createWindow(TWndMethod* method) {
    HWND window = CreateWindowExA(0, utilWindowClass(), "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    if (window != nullptr)
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(method));
    return window;
}

// DestroyWindow sends WM_DESTROY and WM_NCDESTROY; they must not reach a
// component that is being destroyed, so the method is detached first.
bool destroyWindow(HWND window) {
    const LONG_PTR method = SetWindowLongPtrA(window, GWLP_USERDATA, 0);
    if (DestroyWindow(window)) return true;
    SetWindowLongPtrA(window, GWLP_USERDATA, method);
    return false;
}
#else
HWND createWindow(TWndMethod* method) {
    return CreateMessageWindow(StdWndProc, reinterpret_cast<LONG_PTR>(method));
}

bool destroyWindow(HWND window) {
    return DestroyWindow(window) != FALSE;
}
#endif

}  // namespace

// The window holds its method, allocated here, until DeallocateHWnd frees it.
HWND AllocateHWnd(TWndMethod method) {
    auto owned = std::make_unique<TWndMethod>(std::move(method));
    HWND window = createWindow(owned.get());
    if (window == nullptr) throw EOutOfResources("Cannot create a notification window");
    static_cast<void>(owned.release());
    return window;
}

void DeallocateHWnd(HWND window) {
    if (window == nullptr) return;
    TWndMethod* method = methodOf(window);
    // A window that another thread owns stays, and so does its method.
    if (destroyWindow(window)) delete method;
}
