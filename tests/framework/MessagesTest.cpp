#include <gtest/gtest.h>

#include <atomic>
#include <future>
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

}  // namespace
