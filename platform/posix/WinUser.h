// Window messages off Windows: message-only windows owned by the thread that
// creates them, and one message queue per thread.
//
// The functions keep the system's names and behaviour:
//  - a message is dispatched only by the thread that owns the window, in the
//    order it was posted, and never inside PostMessageA;
//  - PostMessageA may be called from any thread and wakes the owner's loop
//    (a post to a thread that is not asleep makes no system call);
//  - a window handle is never handed out twice, so messages for a destroyed
//    window, queued or posted later, are dropped.
// CreateMessageWindow stands in for RegisterClass + CreateWindowEx(HWND_MESSAGE).
#pragma once

#include "platform/posix/WinTypes.h"

struct POINT {
    LONG x;
    LONG y;
};

struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
};

using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);

inline constexpr UINT WM_NULL = 0x0000;
inline constexpr UINT WM_QUIT = 0x0012;
inline constexpr UINT WM_DEVICECHANGE = 0x0219;
inline constexpr UINT WM_USER = 0x0400;
inline constexpr UINT WM_APP = 0x8000;

inline constexpr UINT PM_NOREMOVE = 0x0000;
inline constexpr UINT PM_REMOVE = 0x0001;

inline constexpr int GWLP_USERDATA = -21;

// Creates a message-only window owned by the calling thread; userData is what
// GetWindowLongPtrA(hwnd, GWLP_USERDATA) returns. Null when proc is null.
HWND CreateMessageWindow(WNDPROC proc, LONG_PTR userData);

// Only the owning thread may destroy a window; FALSE otherwise or for a stale handle.
BOOL DestroyWindow(HWND hwnd);
BOOL IsWindow(HWND hwnd);
LONG_PTR GetWindowLongPtrA(HWND hwnd, int index);
// Any thread may change a window's GWLP_USERDATA; returns the previous value.
LONG_PTR SetWindowLongPtrA(HWND hwnd, int index, LONG_PTR value);

// As the target of PostMessageA: every window of the process, whatever its thread.
inline const HWND HWND_BROADCAST = reinterpret_cast<HWND>(0xFFFF);

// FALSE when the window does not exist (or no longer exists).
BOOL PostMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
inline BOOL PostMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return PostMessageA(hwnd, msg, wParam, lParam);
}
void PostQuitMessage(int exitCode);

// The filters (hwnd, first, last) must be null/0/0: only the whole queue is served.
// GetMessageA waits; it returns 0 for WM_QUIT, -1 for a filter it cannot serve.
BOOL GetMessageA(MSG* msg, HWND hwnd, UINT first, UINT last);
BOOL PeekMessageA(MSG* msg, HWND hwnd, UINT first, UINT last, UINT removeFlags);
LRESULT DispatchMessageA(const MSG* msg);

// Not in the system's API: a descriptor of the calling thread's queue, for
// event loops that watch descriptors (poll, epoll, GLib, Qt). It reads ready
// while a message (or the quit request) waits for this thread and stops
// reading ready once PeekMessageA has found the queue empty; reading it is
// the queue's business, not the caller's. The queue keeps it open while the
// thread's queue lives. -1 when the system refuses one (errno says why).
int MessageQueueDescriptor();

LRESULT DefWindowProcA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
