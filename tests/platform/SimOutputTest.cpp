// What the virtual outputs play, the loopback, and function callbacks.
#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "WaveTestSupport.h"
#include "platform/sim/Sim.h"

namespace sorvan::wavetest {
namespace {

using std::chrono::milliseconds;

std::vector<std::byte> bytesOf(const std::string& text) {
    std::vector<std::byte> bytes;
    for (char c : text) bytes.push_back(static_cast<std::byte>(c));
    return bytes;
}

class SimPlayback : public ::testing::Test {
  protected:
    void SetUp() override {
        sim::setUp({.inputs = {{.name = "Return", .channels = 1, .minRate = 1000}},
                    .outputs = {{.name = "Out", .channels = 1, .minRate = 1000}}});
        ASSERT_EQ(waveOutOpen(&out, 0, &format, window.callback(), 0, CALLBACK_WINDOW),
                  MMSYSERR_NOERROR);
    }

    void TearDown() override {
        waveOutReset(out);
        waveOutClose(out);
        pumpMessages();
        sim::tearDown();
    }

    void write(const std::string& text) {
        Buffer& block = buffers.make(text.size());
        std::copy(text.begin(), text.end(), block.data.begin());
        ASSERT_EQ(waveOutPrepareHeader(out, block.hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
        ASSERT_EQ(waveOutWrite(out, block.hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    }

    WAVEFORMATEX format = pcmFormat(1, 1000, 8);  // one byte a millisecond
    NotificationWindow window;
    Buffers buffers;
    HWAVEOUT out = nullptr;
};

TEST_F(SimPlayback, BlocksPlayInOrderAtTheFormatsRate) {
    write("abc");
    write("defg");
    sim::advance(milliseconds(2));
    EXPECT_EQ(sim::played(0), bytesOf("ab"));
    EXPECT_EQ(window.take().size(), 1u);  // open; the first block is not played out yet
    sim::advance(milliseconds(1));
    auto seen = window.take();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].msg, MM_WOM_DONE);
    sim::advance(milliseconds(10));
    EXPECT_EQ(sim::played(0), bytesOf("abcdefg"));
    EXPECT_EQ(window.take().size(), 1u);
    sim::clearPlayed(0);
    EXPECT_TRUE(sim::played(0).empty());
}

TEST_F(SimPlayback, PauseHoldsTheBlocksAndRestartGoesOn) {
    write("abcd");
    sim::advance(milliseconds(1));
    ASSERT_EQ(waveOutPause(out), MMSYSERR_NOERROR);
    write("ef");
    sim::advance(milliseconds(10));
    EXPECT_EQ(sim::played(0), bytesOf("a"));
    ASSERT_EQ(waveOutRestart(out), MMSYSERR_NOERROR);
    sim::advance(milliseconds(10));
    EXPECT_EQ(sim::played(0), bytesOf("abcdef"));
}

TEST_F(SimPlayback, LoopbackFeedsWhatIsPlayedIntoTheInput) {
    sim::connect(0, 0);
    HWAVEIN in = nullptr;
    ASSERT_EQ(waveInOpen(&in, 0, &format, window.callback(), 0, CALLBACK_WINDOW), MMSYSERR_NOERROR);
    Buffer& buffer = buffers.make(8);
    ASSERT_EQ(waveInPrepareHeader(in, buffer.hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    ASSERT_EQ(waveInAddBuffer(in, buffer.hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    ASSERT_EQ(waveInStart(in), MMSYSERR_NOERROR);
    write("loop");
    sim::advance(milliseconds(8));
    EXPECT_EQ(buffer.header.dwFlags & WHDR_DONE, WHDR_DONE);
    EXPECT_EQ(std::string(buffer.data.begin(), buffer.data.end()),
              std::string("loop") + std::string(4, '\x80'));

    sim::disconnect(0);
    ASSERT_EQ(waveInReset(in), MMSYSERR_NOERROR);
    ASSERT_EQ(waveInClose(in), MMSYSERR_NOERROR);
}

// Blocks that end inside a frame play their whole frames only, whether the
// next block was queued in time or the device ran dry in between.
TEST(SimPartialFrames, ABlockPlaysItsWholeFramesWhateverTheTiming) {
    sim::Session session({.outputs = {{.name = "Out", .minRate = 1000}}});
    const WAVEFORMATEX format = pcmFormat(2, 1000, 8);  // two bytes a millisecond
    const std::vector<std::string> blocks = {"abcdE", "F", "ghijkL"};
    for (const bool runDry : {false, true}) {
        HWAVEOUT out = nullptr;
        ASSERT_EQ(waveOutOpen(&out, 0, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
        Buffers buffers;
        for (const auto& text : blocks) {
            Buffer& block = buffers.make(text.size());
            std::copy(text.begin(), text.end(), block.data.begin());
            ASSERT_EQ(waveOutPrepareHeader(out, block.hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
            ASSERT_EQ(waveOutWrite(out, block.hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
            if (runDry) sim::advance(milliseconds(10));
        }
        sim::advance(milliseconds(10));
        EXPECT_EQ(sim::played(0), bytesOf("abcdghijkL")) << (runDry ? "ran dry" : "queued");
        sim::clearPlayed(0);
        ASSERT_EQ(waveOutClose(out), MMSYSERR_NOERROR);
    }
}

// A block may be freed as soon as unprepare takes it back, while the
// device's thread goes on with the next one (ThreadSanitizer checks this).
TEST(SimRealTime, ABlockUnpreparedWhileTheDevicePlaysOnMayBeFreedAtOnce) {
    sim::Session session(
        {.outputs = {{.name = "Out", .keepPlayed = false}}, .clock = sim::Clock::realTime});
    const WAVEFORMATEX format = pcmFormat(2, 48000, 16);
    HWAVEOUT out = nullptr;
    ASSERT_EQ(waveOutOpen(&out, 0, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    std::deque<std::unique_ptr<Buffer>> playing;
    for (int i = 0; i < 40; ++i) {
        auto& block = playing.emplace_back(std::make_unique<Buffer>(4 * 48, char(i)));
        ASSERT_EQ(waveOutPrepareHeader(out, block->hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
        ASSERT_EQ(waveOutWrite(out, block->hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
        while (playing.size() > 3 || (i == 39 && !playing.empty())) {
            const MMRESULT result =
                waveOutUnprepareHeader(out, playing.front()->hdr(), sizeof(WAVEHDR));
            if (result == WAVERR_STILLPLAYING) {
                std::this_thread::sleep_for(std::chrono::microseconds(200));
                continue;
            }
            ASSERT_EQ(result, MMSYSERR_NOERROR);
            playing.pop_front();  // freed at once
        }
    }
    ASSERT_EQ(waveOutClose(out), MMSYSERR_NOERROR);
}

// Function callbacks: in posting order, on a thread of the layer, never
// inside the call.
struct CallbackLog {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::pair<UINT, DWORD_PTR>> calls;  // message, first parameter
    std::thread::id thread;
    DWORD_PTR instance = 0;
};

void CALLBACK onWave(HANDLE, UINT msg, DWORD_PTR instance, DWORD_PTR param, DWORD_PTR) {
    auto* log = reinterpret_cast<CallbackLog*>(instance);
    std::lock_guard lock(log->mutex);
    log->calls.emplace_back(msg, param);
    log->thread = std::this_thread::get_id();
    log->changed.notify_all();
}

TEST_F(SimPlayback, FunctionCallbacksArriveInOrderOnAnotherThread) {
    CallbackLog log;
    HWAVEOUT other = nullptr;
    ASSERT_EQ(waveOutOpen(&other, 0, &format, reinterpret_cast<DWORD_PTR>(&onWave),
                          reinterpret_cast<DWORD_PTR>(&log), CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    Buffer& block = buffers.make(2);
    ASSERT_EQ(waveOutPrepareHeader(other, block.hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutWrite(other, block.hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    sim::advance(milliseconds(2));
    ASSERT_EQ(waveOutClose(other), MMSYSERR_NOERROR);

    std::unique_lock lock(log.mutex);
    ASSERT_TRUE(
        log.changed.wait_for(lock, std::chrono::seconds(5), [&] { return log.calls.size() == 3; }));
    EXPECT_EQ(log.calls[0], std::make_pair(WOM_OPEN, DWORD_PTR{0}));
    EXPECT_EQ(log.calls[1], std::make_pair(WOM_DONE, reinterpret_cast<DWORD_PTR>(block.hdr())));
    EXPECT_EQ(log.calls[2], std::make_pair(WOM_CLOSE, DWORD_PTR{0}));
    EXPECT_NE(log.thread, std::this_thread::get_id());
}

TEST_F(SimPlayback, CallbackKindsTheLayerCannotServeAreRefused) {
    HWAVEOUT other = nullptr;
    EXPECT_EQ(waveOutOpen(&other, 0, &format, 0, 0, CALLBACK_THREAD), MMSYSERR_NOTSUPPORTED);
    EXPECT_EQ(waveOutOpen(&other, 0, &format, 0, 0, CALLBACK_EVENT), MMSYSERR_NOTSUPPORTED);
    EXPECT_EQ(waveOutOpen(&other, 0, &format, 0x7777, 0, CALLBACK_WINDOW), MMSYSERR_INVALPARAM);
    EXPECT_EQ(waveOutOpen(&other, 0, &format, 0, 0, 0x40000), MMSYSERR_INVALFLAG);
    EXPECT_EQ(other, nullptr);

    // No window or no function: nothing to notify, as on Windows.
    for (DWORD kind : {CALLBACK_WINDOW, CALLBACK_FUNCTION}) {
        ASSERT_EQ(waveOutOpen(&other, 0, &format, 0, 0, kind), MMSYSERR_NOERROR);
        EXPECT_EQ(waveOutClose(other), MMSYSERR_NOERROR);
    }
}

}  // namespace
}  // namespace sorvan::wavetest
