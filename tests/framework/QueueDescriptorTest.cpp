// The descriptor of a thread's message queue: ready exactly while a message
// waits, for event loops of the application's own (off Windows).
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <future>
#include <thread>
#include <vector>

#include "framework/Forms.h"
#include "framework/Messages.h"
#include "platform/posix/ThreadQueue.h"

namespace {

constexpr UINT WM_TEST = WM_USER + 3;

bool Ready(int fd, int timeoutMs = 0) {
    pollfd watched{fd, POLLIN, 0};
    return poll(&watched, 1, timeoutMs) == 1 && (watched.revents & POLLIN) != 0;
}

class TCounter : public TComponent {
  public:
    TCounter() : TComponent(nullptr), FHandle(AllocateHWnd(TWndMethod(this, &TCounter::WndProc))) {}
    ~TCounter() override { DeallocateHWnd(FHandle); }
    void WndProc(TMessage& m) {
        ++handled;
        if (onMessage) onMessage(m);
    }
    HWND FHandle;
    int handled = 0;
    std::function<void(TMessage&)> onMessage;
};

class QueueDescriptor : public ::testing::Test {
  protected:
    void SetUp() override {
        fd = Application->QueueDescriptor();
        ASSERT_GE(fd, 0);
        Application->ProcessMessages();
    }
    void TearDown() override { Application->ProcessMessages(); }
    int fd = -1;
};

TEST_F(QueueDescriptor, ReadyWhileAMessageWaitsAndNotOnceProcessMessagesEmptiedTheQueue) {
    TCounter counter;
    EXPECT_EQ(Application->QueueDescriptor(), fd);  // one for the thread's life
    EXPECT_FALSE(Ready(fd));
    PostMessage(counter.FHandle, WM_TEST, 0, 0);
    PostMessage(counter.FHandle, WM_TEST, 0, 0);
    EXPECT_TRUE(Ready(fd));
    EXPECT_TRUE(Ready(fd));  // watching it takes nothing away
    Application->ProcessMessages();
    EXPECT_EQ(counter.handled, 2);
    EXPECT_FALSE(Ready(fd));
}

TEST_F(QueueDescriptor, AMessageQueuedBeforeTheFirstRequestMakesItReadyAtOnce) {
    std::promise<bool> readyThere;
    std::thread([&] {
        TCounter counter;
        PostMessage(counter.FHandle, WM_TEST, 0, 0);
        const int own = Application->QueueDescriptor();
        const bool ready = Ready(own);
        Application->ProcessMessages();
        readyThere.set_value(ready && counter.handled == 1 && !Ready(own));
    }).join();
    EXPECT_TRUE(readyThere.get_future().get());
}

TEST_F(QueueDescriptor, TerminateMakesItReadyAndProcessMessagesTakesTheQuit) {
    Application->Terminate();
    EXPECT_TRUE(Ready(fd));
    Application->ProcessMessages();
    EXPECT_FALSE(Ready(fd));
}

// The eventfd counts its writes: many posts before the owner drains write it
// once, and so do the posts a handler makes while the owner drains.
TEST_F(QueueDescriptor, OnlyThePostThatMakesTheQueueNonEmptyWritesIt) {
    TCounter counter;
    for (int i = 0; i < 100; ++i) PostMessage(counter.FHandle, WM_TEST, 0, 0);
    counter.onMessage = [&](TMessage& m) {
        if (m.WParam == 0 && counter.handled == 100) {
            for (int i = 0; i < 10; ++i) PostMessage(counter.FHandle, WM_TEST, 1, 0);
        }
    };
    // Takes the first 100 and the 10 posted meanwhile without a write, then
    // finds the queue empty; had every post written, the counter would be
    // far from 1 before the drain and the read below would show it.
    std::uint64_t writes = 0;
    ASSERT_EQ(read(fd, &writes, sizeof writes), static_cast<ssize_t>(sizeof writes));
    EXPECT_EQ(writes, 1u);
    Application->ProcessMessages();
    EXPECT_EQ(counter.handled, 110);
    EXPECT_FALSE(Ready(fd));
}

TEST_F(QueueDescriptor, RunStillWorksOnAThreadWhoseDescriptorIsWatched) {
    TCounter counter;
    counter.onMessage = [](TMessage&) { Application->Terminate(); };
    std::thread poster([window = counter.FHandle] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        PostMessage(window, WM_TEST, 0, 0);
    });
    Application->Run();
    poster.join();
    EXPECT_EQ(counter.handled, 1);
    EXPECT_FALSE(Ready(fd));
}

// A post inside a DeferredWakes scope makes the descriptor ready when the
// scope ends; if the owner has drained the queue by then, it stays not ready.
TEST_F(QueueDescriptor, APostInsideADeferredScopeIsSignalledWhenTheScopeEnds) {
    TCounter counter;
    std::promise<void> posted, drained, scopeEnded;
    std::thread poster([&] {
        {
            const sorvan::posix::DeferredWakes scope;
            PostMessage(counter.FHandle, WM_TEST, 0, 0);
            posted.set_value();
            drained.get_future().wait();
            PostMessage(counter.FHandle, WM_TEST, 0, 0);
        }
        scopeEnded.set_value();
    });
    posted.get_future().wait();
    EXPECT_FALSE(Ready(fd));  // owed, not yet written
    Application->ProcessMessages();
    EXPECT_EQ(counter.handled, 1);
    drained.set_value();
    scopeEnded.get_future().wait();
    poster.join();
    EXPECT_TRUE(Ready(fd));
    Application->ProcessMessages();
    EXPECT_EQ(counter.handled, 2);
    EXPECT_FALSE(Ready(fd));  // the first promise, dropped by the drain, wrote nothing
}

// The hand-over under load: two threads post 10^6 messages in all while the
// owner waits on the descriptor and drains. Every message is handled once and
// in each sender's order, and whenever a message waits the descriptor reads
// ready: checked after every drain and after every timed-out wait.
TEST_F(QueueDescriptor, AMillionPostsFromTwoThreadsAreHandledOnceInOrderAndNeverLeftWaiting) {
    constexpr int perSender = 500'000;
    constexpr int senders = 2;
    TCounter counter;
    std::vector<std::int64_t> next(senders, 0);
    std::int64_t outOfOrder = 0;
    counter.onMessage = [&](TMessage& m) {
        if (m.LParam != next[m.WParam]) ++outOfOrder;
        next[m.WParam] = m.LParam + 1;
    };
    std::atomic<int> sendersDone = 0;
    std::vector<std::thread> threads;
    for (int s = 0; s < senders; ++s) {
        threads.emplace_back([&, s, window = counter.FHandle] {
            for (int i = 0; i < perSender; ++i) {
                PostMessage(window, WM_TEST, static_cast<WPARAM>(s), i);
                // Now and then a pause long enough for the owner to drain the
                // queue and go back to waiting, so that posts race both.
                if (i % 128 == 0)
                    std::this_thread::sleep_for(std::chrono::microseconds(20 + i % 7));
            }
            ++sendersDone;
        });
    }
    int leftWaiting = 0, drains = 0, waits = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (counter.handled < senders * perSender && std::chrono::steady_clock::now() < deadline) {
        MSG waiting;
        if (!Ready(fd)) {
            // The owner waits, as an event loop would; a wait that times out
            // with a message queued is a message left waiting.
            ++waits;
            if (!Ready(fd, 100) && PeekMessageA(&waiting, nullptr, 0, 0, PM_NOREMOVE)) {
                ++leftWaiting;
                Application->ProcessMessages();  // counted; the run goes on
            }
            continue;
        }
        Application->ProcessMessages();
        ++drains;
        // A message posted since the drain made it ready before it could be seen.
        if (PeekMessageA(&waiting, nullptr, 0, 0, PM_NOREMOVE) && !Ready(fd)) ++leftWaiting;
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(sendersDone.load(), senders);
    EXPECT_EQ(counter.handled, senders * perSender);
    EXPECT_EQ(outOfOrder, 0);
    for (int s = 0; s < senders; ++s) EXPECT_EQ(next[s], perSender);
    EXPECT_EQ(leftWaiting, 0);
    EXPECT_FALSE(Ready(fd));
    EXPECT_GT(drains, 1);
    RecordProperty("drains", drains);
    std::printf("%d drains, %d of them from a wait\n", drains, waits);
}

}  // namespace
