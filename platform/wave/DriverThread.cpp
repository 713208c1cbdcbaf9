#include "platform/wave/DriverThread.h"

#include <poll.h>

namespace sorvan::wave {

DriverThread::~DriverThread() {
    if (thread_.joinable()) request(Want::quit);
}

void DriverThread::start(Work& work) {
    thread_ = std::thread([this, &work] { run(work); });
}

MMRESULT DriverThread::request(Want want) {
    std::unique_lock lock(mutex_);
    want_ = want;
    const std::uint64_t number = ++requested_;
    wakeup_.signal();
    carriedOut_.wait(lock, [&] { return carried_ >= number; });
    const MMRESULT result = result_;
    lock.unlock();
    if (want == Want::quit) thread_.join();
    return result;
}

bool DriverThread::requestPending() {
    std::lock_guard lock(mutex_);
    return requested_ != carried_;
}

// Most headers come while the thread waits for the device with other
// headers in hand; only one waiting for a header needs the wake-up.
void DriverThread::dataQueued() {
    headersQueued_.fetch_add(1, std::memory_order_release);
    if (waitingForData_.exchange(false)) wakeup_.signal();
}

void DriverThread::run(Work& work) {
    for (;;) {
        Want want{};
        std::uint64_t number = 0;
        {
            std::lock_guard lock(mutex_);
            want = want_;
            number = requested_;
        }
        if (number != carried_) {
            const MMRESULT result = work.carryOut(want);
            {
                std::lock_guard lock(mutex_);
                carried_ = number;
                result_ = result;
            }
            carriedOut_.notify_all();
            if (want == Want::quit) return;
            continue;
        }
        if (work.moving()) {
            work.step();
        } else {
            waitForRequest();
        }
    }
}

void DriverThread::waitForRequest() {
    pollfd wake{.fd = wakeup_.fd(), .events = POLLIN, .revents = 0};
    poll(&wake, 1, -1);
    wakeup_.clear();
}

void DriverThread::waitForData(const std::function<bool()>& nothingQueued) {
    // An application that hands its buffers straight back (a free-running
    // device) answers within microseconds: worth watching for before sleeping.
    const std::uint64_t seen = headersQueued_.load(std::memory_order_acquire);
    if (dataSpin_.awaits([&] { return headersQueued_.load(std::memory_order_acquire) != seen; })) {
        return;
    }
    waitingForData_.store(true);
    // The core queues a header under its lock and only then calls
    // dataQueued; looking at the queue (under that lock) after raising the
    // flag finds every header queued before the flag was seen.
    if (nothingQueued()) {
        const posix::BriefSpin::Clock::time_point asleep = posix::BriefSpin::Clock::now();
        waitForRequest();
        dataSpin_.slept(posix::BriefSpin::Clock::now() - asleep);
    }
    waitingForData_.store(false);
}

bool DriverThread::sleepFor(std::chrono::nanoseconds time) {
    const auto ns = time.count() > 0 ? time.count() : 0;
    const timespec timeout{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
    pollfd wake{.fd = wakeup_.fd(), .events = POLLIN, .revents = 0};
    if (ppoll(&wake, 1, &timeout, nullptr) > 0 && wake.revents != 0) {
        wakeup_.clear();
        return false;
    }
    return true;
}

}  // namespace sorvan::wave
