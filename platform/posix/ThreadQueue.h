// One thread's message queue and the window records its messages carry.
//
// Any thread posts; only the owning thread takes. The owner sleeps on a
// futex of its own and a poster makes the wake-up call only when the owner
// really sleeps: a post to an awake thread takes an uncontended mutex and
// no system call, a post to a sleeping one a single wake, and the owner's
// receipt a single wait. An owner whose messages come thick and fast watches
// the queue briefly before it sleeps (BriefSpin), which spares both sides
// the wake-up.
//
// On request the queue also keeps a descriptor (an eventfd) that other event
// loops can watch: it reads ready while at least one message waits and not
// ready once a take has found the queue empty. Only the post that makes the
// queue non-empty writes it, and only the take that finds it empty reads it,
// both under the queue's lock, so a post that races with the draining always
// leaves it ready and a post to an owner that is still draining makes no
// system call. A queue nobody asked for its descriptor never touches one.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/posix/BriefSpin.h"
#include "platform/posix/WinUser.h"

namespace sorvan::posix {

class ThreadQueue;

// A window as its messages see it. The handle's table holds it while the
// window exists; every queued message holds it too, so the owner dispatches
// without looking the handle up again.
struct Window {
    Window(HWND handle, WNDPROC proc, LONG_PTR userData, std::weak_ptr<ThreadQueue> queue)
        : handle(handle), proc(proc), userData(userData), queue(std::move(queue)) {}

    const HWND handle;
    const WNDPROC proc;
    std::atomic<LONG_PTR> userData;
    // Weak: a message queued for a window must not keep its thread's queue alive.
    const std::weak_ptr<ThreadQueue> queue;
    // Set by the owning thread when it destroys the window; messages still
    // queued for it are dropped.
    std::atomic<bool> destroyed{false};
};

struct Posted {
    MSG msg{};
    std::shared_ptr<Window> window;
};

class ThreadQueue : public std::enable_shared_from_this<ThreadQueue> {
  public:
    ThreadQueue() = default;
    ~ThreadQueue();
    ThreadQueue(const ThreadQueue&) = delete;
    ThreadQueue& operator=(const ThreadQueue&) = delete;

    // Owner only. The descriptor that reads ready while a message (or the
    // quit request) waits; created on the first call and kept, and closed,
    // by the queue. -1 when the system refuses one (errno tells why).
    int descriptor();
    void post(Posted posted);
    void postQuit(int exitCode);
    // Owner only. The next message, or WM_QUIT once no message is left;
    // false when there is none.
    bool take(Posted& out);
    // Owner only: waits until take succeeds.
    void wait(Posted& out);
    // Owner only: a copy of the next message without removing it.
    bool peek(MSG& out);

  private:
    friend class DeferredWakes;
    bool takeLocked(Posted& out);
    void wake();
    // Under mutex_: makes the descriptor ready for what was just queued,
    // now or when the posting thread's DeferredWakes scope ends.
    void signalLocked(bool& owed);
    // Under mutex_: the queue is empty; the descriptor stops reading ready.
    void unsignalLocked();
    void armLocked();
    // Writes the descriptor promised inside a DeferredWakes scope.
    void keepPromise();

    std::mutex mutex_;
    // First-in first-out over reused storage: once it has grown to the most
    // messages ever waiting at once, posting no longer allocates.
    std::vector<Posted> slots_;
    std::size_t first_ = 0;
    std::size_t count_ = 0;
    // count_, for the owner to watch without the lock while it spins.
    std::atomic<std::size_t> queued_{0};
    BriefSpin spin_;
    bool quitPending_ = false;
    int quitCode_ = 0;
    // The owner is asleep (or about to be) on `wakeups_`; guarded by mutex_.
    bool sleeping_ = false;
    // The futex word: a poster that finds the owner sleeping moves it on,
    // so a wait that starts after the post returns at once.
    std::atomic<std::uint32_t> wakeups_{0};
    // The descriptor, once asked for (-1 before); guarded by mutex_ with the
    // two flags: readiness is promised for queued messages (`signalled_`),
    // and the eventfd's counter is not zero (`armed_`). A promise made inside
    // a DeferredWakes scope is kept (written) when the scope ends, unless the
    // owner has emptied the queue by then.
    int eventFd_ = -1;
    bool signalled_ = false;
    bool armed_ = false;
};

// While one lives on a thread, the wake-ups that the thread's posts owe are
// made when it ends rather than at once. The waveform core posts its
// notifications under the lock that keeps them in order, and the woken owner's
// first act is usually a call that takes that same lock: woken at once, it
// would find the lock held, sleep on it and be woken a second time. Scopes
// nest; the outermost one wakes.
class DeferredWakes {
  public:
    DeferredWakes();
    ~DeferredWakes();
    DeferredWakes(const DeferredWakes&) = delete;
    DeferredWakes& operator=(const DeferredWakes&) = delete;

    // Wakes `queue`'s owner now, or when this thread's outermost scope ends.
    static void wakeNowOrLater(std::shared_ptr<ThreadQueue> queue);
    // A scope lives on the calling thread.
    static bool active();
};

}  // namespace sorvan::posix
