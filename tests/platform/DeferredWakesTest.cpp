// A post made inside a DeferredWakes scope to an owner that sleeps wakes it
// when the outermost scope ends, never sooner and never not at all.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/posix/ThreadQueue.h"
#include "platform/posix/WinUser.h"

namespace {

using namespace std::chrono_literals;

LRESULT CALLBACK ignore(HWND, UINT, WPARAM, LPARAM) {
    return 0;
}

// An owner thread asleep in GetMessageA on a window of its own.
class SleepingOwner {
  public:
    SleepingOwner() {
        thread_ = std::thread([this] {
            window_.store(CreateMessageWindow(ignore, 0));
            MSG msg{};
            GetMessageA(&msg, nullptr, 0, 0);
            received_.store(true);
            DestroyWindow(window_.load());
        });
        while (window_.load() == nullptr) std::this_thread::yield();
        // Long enough for the owner to have gone to sleep, even under a sanitizer.
        std::this_thread::sleep_for(100ms);
    }
    ~SleepingOwner() { thread_.join(); }

    HWND window() const { return window_.load(); }
    bool received() const { return received_.load(); }
    bool receivesWithin(std::chrono::milliseconds limit) const {
        const auto until = std::chrono::steady_clock::now() + limit;
        while (!received() && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(1ms);
        }
        return received();
    }

  private:
    std::atomic<HWND> window_{nullptr};
    std::atomic<bool> received_{false};
    std::thread thread_;
};

TEST(DeferredWakes, TheOwnerWakesWhenTheOutermostScopeEnds) {
    SleepingOwner owner;
    {
        const sorvan::posix::DeferredWakes outer;
        {
            const sorvan::posix::DeferredWakes inner;
            ASSERT_TRUE(PostMessageA(owner.window(), WM_USER, 0, 0));
        }
        EXPECT_FALSE(owner.receivesWithin(50ms)) << "woken inside the outer scope";
    }
    EXPECT_TRUE(owner.receivesWithin(10s)) << "the owed wake-up was never made";
}

TEST(DeferredWakes, APostOutsideAnyScopeWakesAtOnce) {
    SleepingOwner owner;
    ASSERT_TRUE(PostMessageA(owner.window(), WM_USER, 0, 0));
    EXPECT_TRUE(owner.receivesWithin(10s));
}

}  // namespace
