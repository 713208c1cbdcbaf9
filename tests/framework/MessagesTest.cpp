#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <optional>
#include <random>
#include <stdexcept>
#include <thread>
#include <vector>

#include "framework/Forms.h"
#include "framework/Messages.h"

namespace {

constexpr UINT WM_TEST = WM_USER + 1;

// A component-like owner of a notification window that records what it handles.
class TListener : public TComponent {
  public:
    TListener()
        : TComponent(nullptr), FHandle(AllocateHWnd(TWndMethod(this, &TListener::WndProc))) {}
    ~TListener() override { DeallocateHWnd(FHandle); }

    void WndProc(TMessage& message) {
        handledOn.push_back(std::this_thread::get_id());
        received.push_back(message.WParam);
        if (onMessage) onMessage(message);
    }

    HWND FHandle;
    std::vector<WPARAM> received;
    std::vector<std::thread::id> handledOn;
    std::function<void(TMessage&)> onMessage;
};

class MessageLoop : public ::testing::Test {
  protected:
    void TearDown() override {
        Application->OnException = nullptr;
        Application->ProcessMessages();
    }
};

TEST_F(MessageLoop, MessagesArriveInPostingOrderAndNeverInsideThePost) {
    TListener listener;
    for (WPARAM i = 0; i < 5; ++i) ASSERT_TRUE(PostMessage(listener.FHandle, WM_TEST, i, 0));

    EXPECT_TRUE(listener.received.empty());
    Application->ProcessMessages();

    EXPECT_EQ(listener.received, (std::vector<WPARAM>{0, 1, 2, 3, 4}));
}

TEST_F(MessageLoop, MessagesPostedFromAHandlerWaitForTheLoop) {
    TListener listener;
    listener.onMessage = [&](TMessage& m) {
        if (m.WParam == 1) {
            PostMessage(listener.FHandle, WM_TEST, 3, 0);
            EXPECT_EQ(listener.received.back(), 1u);
        }
    };
    PostMessage(listener.FHandle, WM_TEST, 1, 0);
    PostMessage(listener.FHandle, WM_TEST, 2, 0);

    Application->ProcessMessages();

    EXPECT_EQ(listener.received, (std::vector<WPARAM>{1, 2, 3}));
}

TEST_F(MessageLoop, NothingReachesADeallocatedWindow) {
    auto* listener = new TListener;
    const HWND window = listener->FHandle;
    std::vector<WPARAM> seen;
    listener->onMessage = [&](TMessage& m) { seen.push_back(m.WParam); };
    PostMessage(window, WM_TEST, 1, 0);

    DeallocateHWnd(window);
    listener->FHandle = nullptr;
    EXPECT_FALSE(PostMessage(window, WM_TEST, 2, 0));
    Application->ProcessMessages();

    EXPECT_TRUE(seen.empty());
    // A new window never takes the old handle's place.
    TListener next;
    EXPECT_NE(next.FHandle, window);
    EXPECT_FALSE(PostMessage(window, WM_TEST, 3, 0));
    delete listener;
}

TEST_F(MessageLoop, PostingFromAnotherThreadWakesTheOwnersLoop) {
    TListener listener;
    std::thread poster([window = listener.FHandle] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        PostMessage(window, WM_TEST, 7, 0);
    });

    Application->HandleMessage();
    poster.join();

    ASSERT_EQ(listener.received, std::vector<WPARAM>{7});
    EXPECT_EQ(listener.handledOn.front(), std::this_thread::get_id());
}

TEST_F(MessageLoop, MessagesAreHandledOnTheThreadThatAllocatedTheWindow) {
    std::promise<HWND> windowReady;
    std::atomic<bool> stop = false;
    std::vector<std::thread::id> handledOn;
    std::thread::id ownerId;
    std::thread owner([&] {
        TListener listener;
        listener.onMessage = [&](TMessage& m) {
            if (m.WParam == 99) stop = true;
        };
        ownerId = std::this_thread::get_id();
        windowReady.set_value(listener.FHandle);
        while (!stop) Application->HandleMessage();
        handledOn = listener.handledOn;
    });
    const HWND window = windowReady.get_future().get();

    PostMessage(window, WM_TEST, 1, 0);
    PostMessage(window, WM_TEST, 99, 0);
    owner.join();

    ASSERT_EQ(handledOn.size(), 2u);
    EXPECT_EQ(handledOn[0], ownerId);
    EXPECT_EQ(handledOn[1], ownerId);
}

TEST_F(MessageLoop, AnEscapingExceptionGoesToOnExceptionAndTheLoopGoesOn) {
    TListener listener;
    listener.onMessage = [](TMessage& m) {
        if (m.WParam == 1) throw Exception("device gone");
        if (m.WParam == 2) throw std::logic_error("not ours");
    };
    std::vector<std::string> reports;
    TObject* reportedSender = nullptr;
    Application->OnException = [&](TObject* sender, Exception& e) {
        reportedSender = sender;
        reports.push_back(e.Message());
    };
    PostMessage(listener.FHandle, WM_TEST, 1, 0);
    PostMessage(listener.FHandle, WM_TEST, 2, 0);
    PostMessage(listener.FHandle, WM_TEST, 3, 0);

    Application->ProcessMessages();

    EXPECT_EQ(reports, (std::vector<std::string>{"device gone", "not ours"}));
    EXPECT_EQ(reportedSender, &listener);
    EXPECT_EQ(listener.received, (std::vector<WPARAM>{1, 2, 3}));
}

TEST_F(MessageLoop, WithoutOnExceptionTheExceptionIsOneLineOnStderr) {
    TListener listener;
    listener.onMessage = [](TMessage&) { throw Exception("disk full"); };
    PostMessage(listener.FHandle, WM_TEST, 1, 0);

    testing::internal::CaptureStderr();
    Application->ProcessMessages();
    const std::string printed = testing::internal::GetCapturedStderr();

    EXPECT_EQ(printed, "Exception: disk full\n");
}

TEST_F(MessageLoop, RunEndsAfterTerminateOnceQueuedMessagesAreHandled) {
    TListener listener;
    listener.onMessage = [](TMessage& m) {
        if (m.WParam == 1) Application->Terminate();
    };
    PostMessage(listener.FHandle, WM_TEST, 1, 0);
    PostMessage(listener.FHandle, WM_TEST, 2, 0);

    Application->Run();

    EXPECT_TRUE(Application->Terminated());
    EXPECT_EQ(listener.received, (std::vector<WPARAM>{1, 2}));
}

TEST_F(MessageLoop, ResultOfAHandledMessageReturnsToTheDispatcher) {
    TListener listener;
    listener.onMessage = [&](TMessage& m) {
        m.Result = DefWindowProcA(listener.FHandle, m.Msg, m.WParam, m.LParam) + 42;
    };
    const MSG msg{listener.FHandle, WM_TEST, 0, 0, 0, {0, 0}};

    EXPECT_EQ(DispatchMessageA(&msg), 42);
}

// Watches whether its method runs after its destructor began; it is kept in
// an std::optional so that a call after destruction still lands in memory
// the test owns and shows up as a count, not only under a sanitizer.
class TWatched : public TComponent {
  public:
    explicit TWatched(std::atomic<int>& callsAfterDeath)
        : TComponent(nullptr),
          FHandle(AllocateHWnd(TWndMethod(this, &TWatched::WndProc))),
          callsAfterDeath_(callsAfterDeath) {}
    ~TWatched() override {
        alive_ = false;
        DeallocateHWnd(FHandle);
    }

    void WndProc(TMessage&) {
        if (!alive_) ++callsAfterDeath_;
    }

    HWND FHandle;

  private:
    std::atomic<bool> alive_ = true;
    std::atomic<int>& callsAfterDeath_;
};

// A thread running a message loop until it is destroyed; run() executes
// work there, from the loop, and waits for it.
class OwnerThread {
  public:
    OwnerThread() {
        std::promise<HWND> ready;
        thread_ = std::thread([this, &ready] {
            TListener control;
            bool stopped = false;
            control.onMessage = [&](TMessage& m) {
                if (m.WParam == 0) stopped = true;
                if (m.WParam == 1) (*reinterpret_cast<std::function<void()>*>(m.LParam))();
            };
            ready.set_value(control.FHandle);
            while (!stopped) Application->HandleMessage();
        });
        control_ = ready.get_future().get();
    }
    ~OwnerThread() {
        PostMessage(control_, WM_TEST, 0, 0);
        thread_.join();
    }

    void run(const std::function<void()>& work) {
        std::promise<void> done;
        std::function<void()> task = [&] {
            work();
            done.set_value();
        };
        PostMessage(control_, WM_TEST, 1, reinterpret_cast<LPARAM>(&task));
        done.get_future().get();
    }

  private:
    std::thread thread_;
    HWND control_ = nullptr;
};

}  // namespace

namespace {

TEST_F(MessageLoop, NothingReachesAComponentDestroyedOnAnotherThread) {
    std::atomic<int> callsAfterDeath = 0;
    std::optional<TWatched> watched;
    HWND window = nullptr;
    {
        OwnerThread owner;
        owner.run([&] {
            watched.emplace(callsAfterDeath);
            window = watched->FHandle;
        });
        // The owner is kept busy, so that both messages wait in its queue
        // while the component is destroyed here: one posted before the
        // destruction, one after.
        std::promise<void> busy;
        std::promise<void> release;
        auto busyTask = std::async(std::launch::async, [&] {
            owner.run([&] {
                busy.set_value();
                release.get_future().wait();
            });
        });
        busy.get_future().wait();
        PostMessage(window, WM_TEST, 1, 0);

        watched.reset();
        PostMessage(window, WM_TEST, 2, 0);
        release.set_value();
        busyTask.get();
        owner.run([] {});

        // The owner destroyed the window at its next message.
        EXPECT_FALSE(IsWindow(window));
    }
    EXPECT_EQ(callsAfterDeath, 0);
}

// Posters race the owner going to sleep and waking up; a lost wake-up
// leaves the owner asleep with messages queued, which the deadline catches.
TEST_F(MessageLoop, NoPostIsLostWhileTheOwnerSleepsAndWakes) {
    constexpr int posters = 6;
    constexpr int perPoster = 3000;
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));

    std::promise<HWND> ready;
    std::promise<void> allReceived;
    std::vector<std::vector<int>> received(posters);
    std::thread owner([&] {
        TListener listener;
        int count = 0;
        listener.onMessage = [&](TMessage& m) {
            received[m.WParam].push_back(static_cast<int>(m.LParam));
            if (++count == posters * perPoster) allReceived.set_value();
        };
        ready.set_value(listener.FHandle);
        while (count < posters * perPoster) Application->HandleMessage();
    });
    const HWND window = ready.get_future().get();

    std::vector<std::thread> threads;
    for (int p = 0; p < posters; ++p) {
        threads.emplace_back([=] {
            std::mt19937 random(seed + static_cast<unsigned>(p));
            for (int i = 0; i < perPoster; ++i) {
                PostMessage(window, WM_TEST, static_cast<WPARAM>(p), i);
                // Short pauses, often long enough for the owner to fall asleep.
                const auto pause = std::chrono::microseconds(random() % 64);
                if (random() % 4 == 0) std::this_thread::sleep_for(pause);
            }
        });
    }
    for (auto& thread : threads) thread.join();

    const bool done = allReceived.get_future().wait_for(std::chrono::seconds(30)) ==
                      std::future_status::ready;
    EXPECT_TRUE(done) << "the owner slept through queued messages";
    // Wakes an owner that missed a wake-up, so that it can be joined.
    if (!done) PostMessage(window, WM_TEST, 0, -1);
    owner.join();
    if (!done) return;
    for (int p = 0; p < posters; ++p) {
        ASSERT_EQ(received[p].size(), static_cast<std::size_t>(perPoster));
        for (int i = 0; i < perPoster; ++i) ASSERT_EQ(received[p][i], i);
    }
}

}  // namespace
