// What a listener hears across a pause, on devices that can pause and on
// devices that cannot, and what blocks ending inside a frame sound like.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "AlsaTestSetup.h"

namespace sorvan::alsatest {
namespace {

using namespace std::chrono_literals;
using wavetest::Buffer;
using wavetest::pcmFormat;

const WAVEFORMATEX format = pcmFormat(2, 44100, 16);

std::vector<char> pattern(std::size_t size, unsigned seed) {
    std::vector<char> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + seed) >> 2);
    return bytes;
}

class AlsaPause : public ::testing::TestWithParam<const char*> {
  protected:
    void SetUp() override {
        useTestDevices();
        ASSERT_EQ(waveOutOpen(&out, outputDevice(GetParam()), &format, window.callback(), 0,
                              CALLBACK_WINDOW),
                  MMSYSERR_NOERROR);
    }

    // Writes blocks of `frames` frames each; returns all their bytes in order.
    std::vector<char> write(int count, std::size_t frames) {
        std::vector<char> all;
        for (int i = 0; i < count; ++i) {
            auto& block = blocks.emplace_back(std::make_unique<Buffer>(frames * 4));
            block->data = pattern(block->data.size(), static_cast<unsigned>(blocks.size()));
            block->header.lpData = block->data.data();
            all.insert(all.end(), block->data.begin(), block->data.end());
            EXPECT_EQ(waveOutPrepareHeader(out, block->hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
            EXPECT_EQ(waveOutWrite(out, block->hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
        }
        return all;
    }

    std::vector<char> heardAfterClose() {
        EXPECT_EQ(waveOutClose(out), MMSYSERR_NOERROR);
        return readFile(heardPath(GetParam()));
    }

    wavetest::NotificationWindow window;
    std::vector<std::unique_ptr<Buffer>> blocks;
    HWAVEOUT out = nullptr;
};

TEST_P(AlsaPause, APauseInTheMiddleLosesNothing) {
    const std::vector<char> played = write(6, 2205);  // 0.3 s
    std::this_thread::sleep_for(80ms);
    ASSERT_EQ(waveOutPause(out), MMSYSERR_NOERROR);
    std::this_thread::sleep_for(40ms);
    ASSERT_EQ(waveOutRestart(out), MMSYSERR_NOERROR);
    ASSERT_EQ(collect(window, 7).size(), 7u);  // the open and every block
    EXPECT_EQ(heardAfterClose(), played);
}

// The blocks were all returned already; what the device holds still plays.
TEST_P(AlsaPause, APauseAfterTheLastBlockWasReturnedLosesNothing) {
    const std::vector<char> played = write(1, 1000);
    ASSERT_EQ(collect(window, 2).size(), 2u);
    ASSERT_EQ(waveOutPause(out), MMSYSERR_NOERROR);
    std::this_thread::sleep_for(30ms);
    ASSERT_EQ(waveOutRestart(out), MMSYSERR_NOERROR);
    EXPECT_EQ(heardAfterClose(), played);
}

TEST_P(AlsaPause, AResetWhilePausedDropsWhatTheDeviceHeld) {
    const std::vector<char> played = write(6, 2205);
    std::this_thread::sleep_for(50ms);
    ASSERT_EQ(waveOutPause(out), MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutReset(out), MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutRestart(out), MMSYSERR_NOERROR);
    std::this_thread::sleep_for(30ms);
    const std::vector<char> heard = heardAfterClose();
    EXPECT_LT(heard.size(), played.size() / 2);
    EXPECT_TRUE(std::equal(heard.begin(), heard.end(), played.begin()));
}

INSTANTIATE_TEST_SUITE_P(Devices, AlsaPause, ::testing::Values("ear", "pausing"),
                         [](const auto& info) { return std::string(info.param); });

// Blocks that end inside a frame play their whole frames only, whether the
// next block was already queued or the device ran dry in between.
TEST(AlsaPartialFrames, ABlockPlaysItsWholeFramesWhateverTheTiming) {
    useTestDevices();
    const std::vector<std::size_t> sizes = {4 * 1000 + 3, 4 * 500 + 1, 2, 4 * 700};
    std::vector<std::unique_ptr<Buffer>> blocks;
    std::vector<char> expected;
    for (std::size_t size : sizes) {
        auto& block = blocks.emplace_back(std::make_unique<Buffer>(size));
        block->data = pattern(size, static_cast<unsigned>(size));
        block->header.lpData = block->data.data();
        expected.insert(expected.end(), block->data.begin(), block->data.end() - size % 4);
    }
    for (const bool waitForEach : {false, true}) {
        wavetest::NotificationWindow window;
        HWAVEOUT out = nullptr;
        ASSERT_EQ(
            waveOutOpen(&out, outputDevice("tape"), &format, window.callback(), 0, CALLBACK_WINDOW),
            MMSYSERR_NOERROR);
        ASSERT_EQ(collect(window, 1).size(), 1u);
        for (auto& block : blocks) {
            ASSERT_EQ(waveOutPrepareHeader(out, block->hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
            ASSERT_EQ(waveOutWrite(out, block->hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
            if (waitForEach) {
                ASSERT_EQ(collect(window, 1).size(), 1u);
            }
        }
        if (!waitForEach) {
            ASSERT_EQ(collect(window, blocks.size()).size(), blocks.size());
        }
        ASSERT_EQ(waveOutClose(out), MMSYSERR_NOERROR);
        EXPECT_EQ(readFile(tapePath()), expected) << (waitForEach ? "one by one" : "all at once");
    }
}

}  // namespace
}  // namespace sorvan::alsatest
