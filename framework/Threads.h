// The thread an object belongs to, and calls queued to it from other threads.
//
// An object that derives from TThreadBound belongs to the thread that created
// it: OnOwnerThread tells whether the calling thread is that one, and Queue,
// from any thread, has a call run there by the owner's message loop (Run,
// ProcessMessages, or the application's own loop through the queue's
// descriptor), in the order Queue was called and after the messages already
// queued for that thread, never inside Queue itself (the framework's queued
// call, TThread::Queue, aimed at an object's own thread). A call still queued
// when the object is destroyed is dropped without running.
#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "framework/Messages.h"

class TThreadBound {
  public:
    // Belongs to the calling thread. Raises EOutOfResources when the system
    // refuses the object its queued-call window.
    TThreadBound();
    ~TThreadBound();
    TThreadBound(const TThreadBound&) = delete;
    TThreadBound& operator=(const TThreadBound&) = delete;

    std::thread::id OwnerThread() const { return FOwnerThread; }
    bool OnOwnerThread() const { return std::this_thread::get_id() == FOwnerThread; }

    // Any thread, while the object exists. Runs `call` on the owning thread
    // as described above; false (and `call` dropped) when it cannot be queued.
    // An exception that escapes `call` goes to Application->HandleException.
    bool Queue(std::function<void()> call) const;

  private:
    void CallWndProc(TMessage& message);

    std::thread::id FOwnerThread;
    HWND FCallWindow = nullptr;
    mutable std::mutex FCallsLock;
    mutable std::deque<std::function<void()>> FCalls;
};
