// The message record and the hidden notification windows of components.
//
// AllocateHWnd creates a hidden window owned by the calling thread and
// bound to a window method; it is among the windows told of device changes
// (WM_DEVICECHANGE, sent by the system on Windows, posted by the platform
// layer elsewhere); every message posted to it (PostMessage, from any
// thread) is handed to that method on the owning thread, in posting order, by
// the thread's message loop (Application). After DeallocateHWnd, called from
// any thread, no message reaches the method, neither those still queued nor
// those posted later (a handler already running on the owning thread is not
// waited for). The owning thread destroys the window at its next message
// when another thread deallocated it.
#pragma once

#include "framework/Events.h"
#include "platform/Win32.h"

struct TMessage {
    UINT Msg;
    WPARAM WParam;
    LPARAM LParam;
    LRESULT Result;
};

using TWndMethod = TMethodPtr<void(TMessage& Message)>;

// Raises EOutOfResources when the system refuses a window.
HWND AllocateHWnd(TWndMethod method);
void DeallocateHWnd(HWND window);
