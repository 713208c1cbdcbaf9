#include "framework/Forms.h"

#include <cstdio>

namespace {
TApplication& theApplication() {
    static TApplication application(nullptr);
    return application;
}

// Each thread's own: Terminate on one thread leaves the others' loops alone.
thread_local bool terminated = false;
}  // namespace

TApplication* const Application = &theApplication();

bool TApplication::Terminated() const {
    return terminated;
}

bool TApplication::Dispatch(const MSG& msg) {
    if (msg.message == WM_QUIT) {
        terminated = true;
        return false;
    }
    DispatchMessageA(&msg);
    return true;
}

void TApplication::ProcessMessages() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (!Dispatch(msg)) return;
    }
}

void TApplication::HandleMessage() {
    MSG msg;
    if (GetMessageA(&msg, nullptr, 0, 0) == -1) return;
    Dispatch(msg);
}

void TApplication::Run() {
    terminated = false;
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
    terminated = true;
}

void TApplication::Terminate() {
    terminated = true;
    PostQuitMessage(0);
}

void TApplication::HandleException(TObject* Sender, Exception& E) {
    if (OnException) {
        OnException(Sender, E);
        return;
    }
    std::fprintf(stderr, "Exception: %s\n", E.what());
}
