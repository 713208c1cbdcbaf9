#include "framework/Messages.h"

#include <exception>
#include <memory>

#include "framework/Forms.h"

namespace {

// Asks the owning thread to destroy a window that another thread deallocated
// and to free its method; lParam is the method.
constexpr UINT releaseWindow = WM_APP + 0x3FF0;

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
    if (method == nullptr) {
        // Only the owning thread dispatches, so nothing else can be running
        // the method while it is freed here.
        if (msg == releaseWindow) {
            DestroyWindow(window);
            delete reinterpret_cast<TWndMethod*>(lParam);
            return 0;
        }
        return DefWindowProcA(window, msg, wParam, lParam);
    }
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

// Hidden and top-level rather than message-only: the system tells only
// top-level windows of device changes (WM_DEVICECHANGE). Where there is no
// desktop to own one (Wine without a display) a message-only window serves
// everything else.
HWND createWindow(TWndMethod* method) {
    HWND window = nullptr;
    for (HWND parent : {HWND(nullptr), HWND_MESSAGE}) {
        window = CreateWindowExA(0, utilWindowClass(), "", 0, 0, 0, 0, 0, parent, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
        if (window != nullptr) break;
    }
    if (window != nullptr)
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(method));
    return window;
}
#else
HWND createWindow(TWndMethod* method) {
    return CreateMessageWindow(StdWndProc, reinterpret_cast<LONG_PTR>(method));
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

// The method is detached first, on every thread: nothing dispatched from now
// on reaches it, neither the messages DestroyWindow itself sends nor those
// still queued. Only the owning thread can destroy the window; from any other
// thread the owner is asked to destroy it and free the method, since it may
// be dispatching to the method at this moment.
void DeallocateHWnd(HWND window) {
    if (window == nullptr) return;
    auto* method =
        reinterpret_cast<TWndMethod*>(SetWindowLongPtrA(window, GWLP_USERDATA, 0));
    if (DestroyWindow(window)) {
        delete method;
        return;
    }
    // When even the post fails the owner is gone or unreachable; the method
    // is left to it rather than freed under a dispatch that may be running.
    if (method != nullptr) {
        PostMessageA(window, releaseWindow, 0, reinterpret_cast<LPARAM>(method));
    }
}
