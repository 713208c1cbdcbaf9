// The components belong to the thread that creates them, on the system's
// windows and waveform API too: a call from another thread is refused and
// says why, and a call queued from another thread runs on the owner's loop.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "SystemWave.h"
#include "components/SorvanIn.h"
#include "components/SorvanOut.h"
#include "framework/Forms.h"

namespace {

using namespace std::chrono_literals;
using namespace systemwave;

TEST(ThreadsOnSystem, MethodsCalledOnAnotherThreadAreRefusedAndSayWhy) {
    TSorvanOut out(nullptr);
    TSorvanIn in(nullptr);
    bool opened = true, played = true;
    const char block[16] = {};
    std::thread([&] {
        opened = out.open();
        played = out.playback(block, sizeof block);
        out.SetSamples(44100);
        in.open();
        in.SetSamples(44100);
    }).join();
    EXPECT_FALSE(opened);
    EXPECT_FALSE(played);
    EXPECT_FALSE(out.IsOpen());
    EXPECT_FALSE(in.IsOpen());
    EXPECT_EQ(out.samples(), 8000);
    EXPECT_EQ(in.samples(), 8000);
    EXPECT_EQ(out.LastError(), static_cast<MMRESULT>(MMSYSERR_HANDLEBUSY));
    EXPECT_EQ(in.LastError(), static_cast<MMRESULT>(MMSYSERR_HANDLEBUSY));
    // The system's own text for the code.
    EXPECT_FALSE(out.LastErrorText().empty());
    EXPECT_FALSE(in.LastErrorText().empty());
}

TEST(ThreadsOnSystem, ACallQueuedFromAnotherThreadRunsOnTheOwnersLoop) {
    TSorvanOut out(nullptr);
    std::thread::id ranOn;
    std::thread([&] {
        out.Queue([&] {
            ranOn = std::this_thread::get_id();
            out.SetSamples(44100);
            Application->Terminate();
        });
    }).join();
    ASSERT_TRUE(RunUntilTerminated(10s));
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    EXPECT_EQ(out.samples(), 44100);
    EXPECT_EQ(out.LastError(), static_cast<MMRESULT>(MMSYSERR_NOERROR));
}

}  // namespace
