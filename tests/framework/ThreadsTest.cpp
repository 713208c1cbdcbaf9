// Terminate per thread, and calls queued to an object's own thread.
#include <gtest/gtest.h>

#include <functional>
#include <future>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "framework/Forms.h"
#include "framework/Messages.h"
#include "framework/Threads.h"

namespace {

constexpr UINT WM_TEST = WM_USER + 7;

// A notification window on the creating thread that logs what it handles.
class TRecorder : public TThreadBound {
  public:
    TRecorder() : FHandle(AllocateHWnd(TWndMethod(this, &TRecorder::WndProc))) {}
    ~TRecorder() { DeallocateHWnd(FHandle); }
    void WndProc(TMessage& m) {
        log.push_back("message " + std::to_string(m.WParam));
        if (onMessage) onMessage(m);
    }

    HWND FHandle;
    std::vector<std::string> log;
    std::function<void(TMessage&)> onMessage;
};

// A thread that creates a TRecorder and runs Application->Run() on it until
// Terminate is called there; what Terminated() read at the end of Run and
// after it is kept.
class LoopThread {
  public:
    LoopThread() {
        std::promise<TRecorder*> ready;
        thread_ = std::thread([this, &ready] {
            TRecorder recorder;
            ready.set_value(&recorder);
            Application->Run();
            terminatedAfterRun = Application->Terminated();
            log = recorder.log;
        });
        recorder = ready.get_future().get();
    }
    ~LoopThread() {
        if (thread_.joinable()) Stop();
    }
    void Stop() {
        recorder->Queue([] { Application->Terminate(); });
        thread_.join();
    }

    TRecorder* recorder = nullptr;
    bool terminatedAfterRun = false;
    std::vector<std::string> log;

  private:
    std::thread thread_;
};

class Threads : public ::testing::Test {
  protected:
    void TearDown() override {
        Application->OnException = nullptr;
        // Takes a quit request a test left on this thread.
        Application->ProcessMessages();
    }
};

TEST_F(Threads, TerminateOnOneThreadLeavesAnotherThreadsRunGoing) {
    LoopThread worker;
    Application->Terminate();
    EXPECT_TRUE(Application->Terminated());

    std::promise<bool> seenThere;
    ASSERT_TRUE(worker.recorder->Queue([&] { seenThere.set_value(Application->Terminated()); }));
    auto answer = seenThere.get_future();
    // The worker's Run is still handling its messages, and its Terminated
    // answers for it.
    ASSERT_EQ(answer.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_FALSE(answer.get());

    worker.Stop();
    EXPECT_TRUE(worker.terminatedAfterRun);
    // Run on the worker ended; this thread's own flag is what this thread set.
    EXPECT_TRUE(Application->Terminated());
}

TEST_F(Threads, TerminateOnAWorkerLeavesOtherThreadsUnterminated) {
    LoopThread worker;
    worker.Stop();
    EXPECT_TRUE(worker.terminatedAfterRun);
    bool elsewhere = true;
    std::thread([&] { elsewhere = Application->Terminated(); }).join();
    EXPECT_FALSE(elsewhere);
}

TEST_F(Threads, AQueuedCallRunsOnTheOwnerAfterTheMessagesAlreadyQueued) {
    LoopThread worker;
    std::thread::id ranOn;
    // The worker is held inside a call, so that everything below waits in its
    // queue in the order it was posted.
    std::promise<void> held, release;
    worker.recorder->Queue([&] {
        held.set_value();
        release.get_future().wait();
    });
    held.get_future().wait();
    PostMessage(worker.recorder->FHandle, WM_TEST, 1, 0);
    EXPECT_TRUE(worker.recorder->Queue([&] {
        ranOn = std::this_thread::get_id();
        worker.recorder->log.push_back("call A");
    }));
    PostMessage(worker.recorder->FHandle, WM_TEST, 2, 0);
    EXPECT_TRUE(worker.recorder->Queue([&] { worker.recorder->log.push_back("call B"); }));
    const std::thread::id owner = worker.recorder->OwnerThread();
    release.set_value();
    worker.Stop();  // the recorder is gone with its thread

    EXPECT_EQ(worker.log, (std::vector<std::string>{"message 1", "call A", "message 2", "call B"}));
    EXPECT_EQ(ranOn, owner);
    EXPECT_NE(ranOn, std::this_thread::get_id());
}

TEST_F(Threads, AQueuedCallNeverRunsInsideQueueEvenOnTheOwner) {
    TRecorder recorder;
    EXPECT_TRUE(recorder.OnOwnerThread());
    int runs = 0;
    EXPECT_TRUE(recorder.Queue([&] { ++runs; }));
    EXPECT_EQ(runs, 0);
    Application->ProcessMessages();
    EXPECT_EQ(runs, 1);
}

TEST_F(Threads, CallsStillQueuedWhenTheObjectGoesAreDroppedUnrun) {
    auto recorder = std::make_unique<TRecorder>();
    auto kept = std::make_shared<int>(0);
    bool ran = false;
    EXPECT_TRUE(recorder->Queue([&ran, kept] { ran = true; }));
    recorder.reset();
    // The call and what it holds are gone with the object.
    EXPECT_EQ(kept.use_count(), 1);
    Application->ProcessMessages();
    EXPECT_FALSE(ran);
}

TEST_F(Threads, AnExceptionFromAQueuedCallGoesToOnException) {
    TRecorder recorder;
    std::string reported;
    Application->OnException = [&](TObject*, Exception& e) { reported = e.Message(); };
    recorder.Queue([] { throw std::runtime_error("no device"); });
    recorder.Queue([&] { recorder.log.push_back("after"); });
    Application->ProcessMessages();
    EXPECT_EQ(reported, "no device");
    EXPECT_EQ(recorder.log, (std::vector<std::string>{"after"}));
}

}  // namespace
