// Playback on the alsa driver returns a block once the device has played its
// last frame, so that OnDone means heard, and a reset stops the device at
// once, so that a close after it has nothing to wait for.
#include <gtest/gtest.h>

#include <time.h>

#include <chrono>
#include <string>
#include <thread>

#include "AlsaTestSetup.h"
#include "WaveTestSupport.h"

namespace sorvan::alsatest {
namespace {

using Clock = std::chrono::steady_clock;

std::chrono::nanoseconds processCpuTime() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}
using wavetest::Buffer;
using wavetest::pcmFormat;

class AlsaHeard : public ::testing::Test {
  protected:
    void SetUp() override {
        useTestDevices();
        ASSERT_EQ(waveOutOpen(&out, outputDevice("speaker"), &format, window.callback(), 0,
                              CALLBACK_WINDOW),
                  MMSYSERR_NOERROR);
        window.take();
    }

    // Frames the speaker had played when it was stopped (written on close).
    unsigned long playedFrames() {
        const std::vector<char> played = readFile(playedPath());
        return std::stoul(std::string(played.begin(), played.end()));
    }

    const WAVEFORMATEX format = pcmFormat(2, 44100, 16);
    wavetest::NotificationWindow window;
    HWAVEOUT out = nullptr;
};

TEST_F(AlsaHeard, ABlockIsDoneOnlyOnceTheDeviceHasPlayedIt) {
    // 100 ms; the device plays it in 10 ms periods.
    Buffer block(4410 * format.nBlockAlign);
    ASSERT_EQ(waveOutPrepareHeader(out, block.hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    const auto written = Clock::now();
    ASSERT_EQ(waveOutWrite(out, block.hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    // Still queued, asked under the stream's lock: the flags themselves are
    // the device thread's to change until the block comes back.
    EXPECT_EQ(waveOutUnprepareHeader(out, block.hdr(), sizeof(WAVEHDR)), WAVERR_STILLPLAYING);

    const auto seen = collect(window, 1);
    const auto elapsed = Clock::now() - written;

    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].msg, MM_WOM_DONE);
    // However late the done comes on a busy machine, never before the sound.
    EXPECT_GE(elapsed, std::chrono::milliseconds(90));
    ASSERT_EQ(waveOutClose(out), MMSYSERR_NOERROR);
    EXPECT_EQ(playedFrames(), 4410u);
}

// The device is ready for more as soon as it has room, long before it has
// played what it holds: waiting for that on its poll would spin.
TEST_F(AlsaHeard, WaitingForTheLastFramesToBeHeardTakesNoProcessor) {
    // 10 ms blocks, each written once the one before is heard, so that the
    // device holds one block and has room for three more all the time.
    wavetest::Buffers blocks;
    const auto cpuBefore = processCpuTime();
    for (int i = 0; i < 40; ++i) {
        Buffer& block = blocks.make(441 * format.nBlockAlign);
        ASSERT_EQ(waveOutPrepareHeader(out, block.hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
        ASSERT_EQ(waveOutWrite(out, block.hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
        ASSERT_EQ(collect(window, 1).size(), 1u);
    }
    const auto cpu = processCpuTime() - cpuBefore;

    // 400 ms of sound; a thread that spun would have used most of it.
    EXPECT_LT(cpu, std::chrono::milliseconds(100));
    ASSERT_EQ(waveOutClose(out), MMSYSERR_NOERROR);
}

TEST_F(AlsaHeard, CloseRightAfterAResetStopsTheSoundWhereItWas) {
    // Two seconds, of which only the start plays before the reset.
    Buffer block(88200 * format.nBlockAlign);
    ASSERT_EQ(waveOutPrepareHeader(out, block.hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutWrite(out, block.hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(window.take().empty());

    ASSERT_EQ(waveOutReset(out), MMSYSERR_NOERROR);
    const auto seen = window.take();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].msg, MM_WOM_DONE);
    ASSERT_EQ(waveOutUnprepareHeader(out, block.hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutClose(out), MMSYSERR_NOERROR);

    // Stopped at the reset, not played out: well under the two seconds.
    EXPECT_LT(playedFrames(), 44100u);
}

}  // namespace
}  // namespace sorvan::alsatest
