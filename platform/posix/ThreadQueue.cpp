#include "platform/posix/ThreadQueue.h"

#include <linux/futex.h>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace sorvan::posix {

namespace {

static_assert(sizeof(std::atomic<std::uint32_t>) == sizeof(std::uint32_t) &&
              std::atomic<std::uint32_t>::is_always_lock_free);

std::uint32_t* word(std::atomic<std::uint32_t>& futex) {
    return reinterpret_cast<std::uint32_t*>(&futex);
}

// Returns at once when the word no longer holds `seen`; may also return
// early (a signal), which the caller's loop absorbs.
void futexWait(std::atomic<std::uint32_t>& futex, std::uint32_t seen) {
    syscall(SYS_futex, word(futex), FUTEX_WAIT_PRIVATE, seen, nullptr, nullptr, 0);
}

void futexWakeOne(std::atomic<std::uint32_t>& futex) {
    syscall(SYS_futex, word(futex), FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
}

// The wake-ups this thread owes while a DeferredWakes scope lives. Each owner
// is owed at most one futex wake (a post wakes only an owner that sleeps, and
// marks it awake) and one descriptor write per time its queue turns non-empty,
// and the storage is kept, so a scope allocates only the first time.
struct OwedWake {
    std::shared_ptr<ThreadQueue> queue;
    // The descriptor is owed its write rather than the sleeper its wake.
    bool descriptor = false;
};
struct OwedWakes {
    int depth = 0;
    std::vector<OwedWake> queues;
};

thread_local OwedWakes owed;

}  // namespace

DeferredWakes::DeferredWakes() {
    ++owed.depth;
}

DeferredWakes::~DeferredWakes() {
    if (--owed.depth > 0) return;
    for (const auto& wake : owed.queues) {
        if (wake.descriptor) {
            wake.queue->keepPromise();
        } else {
            wake.queue->wake();
        }
    }
    owed.queues.clear();
}

void DeferredWakes::wakeNowOrLater(std::shared_ptr<ThreadQueue> queue) {
    if (owed.depth == 0) {
        queue->wake();
    } else {
        owed.queues.push_back({std::move(queue), false});
    }
}

bool DeferredWakes::active() {
    return owed.depth > 0;
}

ThreadQueue::~ThreadQueue() {
    if (eventFd_ >= 0) close(eventFd_);
}

void ThreadQueue::wake() {
    futexWakeOne(wakeups_);
}

int ThreadQueue::descriptor() {
    std::lock_guard lock(mutex_);
    if (eventFd_ < 0) {
        eventFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (eventFd_ < 0) return -1;
        if (count_ > 0 || quitPending_) {
            signalled_ = true;
            armLocked();
        }
    }
    return eventFd_;
}

void ThreadQueue::armLocked() {
    const std::uint64_t one = 1;
    // Never full: the counter is read back to zero before it is written again.
    while (write(eventFd_, &one, sizeof one) < 0 && errno == EINTR) {
    }
    armed_ = true;
}

void ThreadQueue::signalLocked(bool& owed) {
    if (eventFd_ < 0 || signalled_) return;
    signalled_ = true;
    if (DeferredWakes::active()) {
        owed = true;
    } else {
        armLocked();
    }
}

void ThreadQueue::unsignalLocked() {
    if (!signalled_) return;
    signalled_ = false;
    if (!armed_) return;  // a deferred write still owed: now it is not
    std::uint64_t value = 0;
    while (read(eventFd_, &value, sizeof value) < 0 && errno == EINTR) {
    }
    armed_ = false;
}

void ThreadQueue::keepPromise() {
    std::lock_guard lock(mutex_);
    if (signalled_ && !armed_) armLocked();
}

void ThreadQueue::post(Posted posted) {
    bool wake = false;
    bool descriptorOwed = false;
    {
        std::lock_guard lock(mutex_);
        if (count_ == slots_.size()) {
            std::vector<Posted> larger(std::max<std::size_t>(16, slots_.size() * 2));
            for (std::size_t i = 0; i < count_; ++i) {
                larger[i] = std::move(slots_[(first_ + i) % slots_.size()]);
            }
            slots_ = std::move(larger);
            first_ = 0;
        }
        slots_[(first_ + count_) % slots_.size()] = std::move(posted);
        queued_.store(++count_, std::memory_order_release);
        signalLocked(descriptorOwed);
        wake = sleeping_;
        if (wake) {
            sleeping_ = false;
            wakeups_.fetch_add(1, std::memory_order_relaxed);
        }
    }
    if (descriptorOwed) owed.queues.push_back({shared_from_this(), true});
    if (wake) DeferredWakes::wakeNowOrLater(shared_from_this());
}

void ThreadQueue::postQuit(int exitCode) {
    bool descriptorOwed = false;
    {
        std::lock_guard lock(mutex_);
        quitPending_ = true;
        quitCode_ = exitCode;
        signalLocked(descriptorOwed);
    }
    if (descriptorOwed) owed.queues.push_back({shared_from_this(), true});
}

bool ThreadQueue::takeLocked(Posted& out) {
    if (count_ > 0) {
        out = std::move(slots_[first_]);
        first_ = (first_ + 1) % slots_.size();
        queued_.store(--count_, std::memory_order_relaxed);
    } else if (quitPending_) {
        quitPending_ = false;
        out = Posted{MSG{nullptr, WM_QUIT, static_cast<WPARAM>(quitCode_), 0, 0, {0, 0}}, nullptr};
        // Nothing is left: a loop that ends at WM_QUIT need not ask again.
        unsignalLocked();
    } else {
        // Cleared only here, by the take that finds nothing, so that the
        // posts a draining owner makes to itself write nothing.
        unsignalLocked();
        return false;
    }
    sleeping_ = false;
    return true;
}

bool ThreadQueue::take(Posted& out) {
    std::lock_guard lock(mutex_);
    return takeLocked(out);
}

void ThreadQueue::wait(Posted& out) {
    for (;;) {
        std::unique_lock lock(mutex_);
        if (takeLocked(out)) return;
        if (spin_.worthSpinning()) {
            lock.unlock();
            if (spin_.awaits([this] { return queued_.load(std::memory_order_acquire) > 0; })) {
                continue;
            }
            lock.lock();
            if (takeLocked(out)) return;
        }
        sleeping_ = true;
        const std::uint32_t seen = wakeups_.load(std::memory_order_relaxed);
        lock.unlock();
        const BriefSpin::Clock::time_point asleep = BriefSpin::Clock::now();
        futexWait(wakeups_, seen);
        spin_.slept(BriefSpin::Clock::now() - asleep);
    }
}

bool ThreadQueue::peek(MSG& out) {
    std::lock_guard lock(mutex_);
    if (count_ == 0) return false;
    out = slots_[first_].msg;
    return true;
}

}  // namespace sorvan::posix
