#include "platform/wave/DeviceChanges.h"

#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/posix/WinUser.h"

namespace sorvan::wave {

namespace {

inline constexpr WPARAM DBT_DEVNODES_CHANGED = 0x0007;

// One thread, started at the first change, that sleeps without a timeout
// while nothing changes: an idle process is never woken for this.
class ChangeBroadcaster {
  public:
    // The window table is made first, so that it outlives the thread that
    // posts to it when the process ends.
    ChangeBroadcaster() { IsWindow(nullptr); }
    ~ChangeBroadcaster() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        changed_.notify_one();
        if (thread_.joinable()) thread_.join();
    }

    void noteChange() {
        {
            std::lock_guard lock(mutex_);
            if (pending_) return;
            pending_ = true;
            if (!thread_.joinable()) thread_ = std::thread([this] { run(); });
        }
        changed_.notify_one();
    }

  private:
    void run() {
        std::unique_lock lock(mutex_);
        for (;;) {
            changed_.wait(lock, [this] { return pending_ || stopping_; });
            if (stopping_) return;
            // The rest of the burst joins this change meanwhile.
            const auto due = std::chrono::steady_clock::now() + deviceChangeBurst;
            if (changed_.wait_until(lock, due, [this] { return stopping_; })) return;
            pending_ = false;
            lock.unlock();
            PostMessageA(HWND_BROADCAST, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
            lock.lock();
        }
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    bool pending_ = false;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace

void devicesChanged() {
    static ChangeBroadcaster broadcaster;
    broadcaster.noteChange();
}

}  // namespace sorvan::wave
