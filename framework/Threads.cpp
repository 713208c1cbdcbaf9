#include "framework/Threads.h"

namespace {
// One message per queued call; the call itself waits in FCalls.
constexpr UINT queuedCall = WM_APP + 0x3FF1;
}  // namespace

TThreadBound::TThreadBound()
    : FOwnerThread(std::this_thread::get_id()),
      FCallWindow(AllocateHWnd(TWndMethod(this, &TThreadBound::CallWndProc))) {}

TThreadBound::~TThreadBound() {
    // Queued messages are dropped with the window; their calls with FCalls.
    DeallocateHWnd(FCallWindow);
}

bool TThreadBound::Queue(std::function<void()> call) const {
    if (!call) return false;
    // Appended and posted under one lock, so calls run in the order queued.
    std::lock_guard lock(FCallsLock);
    FCalls.push_back(std::move(call));
    if (PostMessageA(FCallWindow, queuedCall, 0, 0)) return true;
    FCalls.pop_back();
    return false;
}

void TThreadBound::CallWndProc(TMessage& message) {
    if (message.Msg != queuedCall) {
        message.Result = DefWindowProcA(FCallWindow, message.Msg, message.WParam, message.LParam);
        return;
    }
    std::function<void()> call;
    {
        std::lock_guard lock(FCallsLock);
        if (FCalls.empty()) return;
        call = std::move(FCalls.front());
        FCalls.pop_front();
    }
    call();
}
