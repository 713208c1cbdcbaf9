// The core with a driver the test plays by hand through the host it keeps:
// a device that disappears, a driver that holds frames over a pause, and
// blocks that end inside a frame.
#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "WaveTestSupport.h"
#include "platform/wave/Driver.h"

namespace sorvan::wavetest {
namespace {

using wave::Direction;

// One device each way. Its streams only log what the core asks of them.
class HandDriver final : public wave::Driver {
  public:
    std::size_t deviceCount(Direction) override { return 1; }
    wave::DeviceInfo device(Direction, std::size_t) override {
        return {.name = "Hand", .support = WAVECAPS_VOLUME};
    }
    std::size_t defaultDevice(Direction) override { return 0; }
    MMRESULT checkFormat(Direction, std::size_t, const WAVEFORMATEX&) override {
        return MMSYSERR_NOERROR;
    }
    MMRESULT open(Direction direction, std::size_t, const WAVEFORMATEX&, wave::StreamHost& host,
                  std::unique_ptr<wave::DriverStream>& stream) override {
        hosts[static_cast<std::size_t>(direction)] = &host;
        stream = std::make_unique<LoggingStream>(requests);
        return MMSYSERR_NOERROR;
    }
    MMRESULT openDefault(Direction direction, std::size_t index, const WAVEFORMATEX& format,
                         wave::StreamHost& host,
                         std::unique_ptr<wave::DriverStream>& stream) override {
        requests.emplace_back("open default");
        return open(direction, index, format, host, stream);
    }
    MMRESULT getVolume(std::size_t, DWORD& volume) override {
        volume = 0;
        return MMSYSERR_NOERROR;
    }
    MMRESULT setVolume(std::size_t, DWORD) override { return MMSYSERR_NOERROR; }

    wave::StreamHost& host(Direction direction) {
        return *hosts[static_cast<std::size_t>(direction)];
    }

    std::vector<std::string> requests;

  private:
    struct LoggingStream final : wave::DriverStream {
        explicit LoggingStream(std::vector<std::string>& log) : log(log) {}
        MMRESULT start() override { return logged("start"); }
        MMRESULT stop() override { return logged("stop"); }
        MMRESULT pause() override { return logged("pause"); }
        MMRESULT resume() override { return logged("resume"); }
        // Each stream has a volume of its own.
        std::optional<MMRESULT> getVolume(DWORD& volume) override {
            volume = own;
            return MMSYSERR_NOERROR;
        }
        std::optional<MMRESULT> setVolume(DWORD volume) override {
            own = volume;
            return MMSYSERR_NOERROR;
        }
        MMRESULT logged(const char* request) {
            log.emplace_back(request);
            return MMSYSERR_NOERROR;
        }
        std::vector<std::string>& log;
        DWORD own = 0xFFFF;
    };

    std::array<wave::StreamHost*, 2> hosts{};
};

class HandDriven : public ::testing::Test {
  protected:
    void SetUp() override { wave::useDriver(driver); }
    void TearDown() override {
        pumpMessages();
        wave::useDriver(previous);
    }

    Buffer& prepared(HWAVEIN in, std::size_t size) {
        Buffer& buffer = buffers.make(size);
        EXPECT_EQ(waveInPrepareHeader(in, buffer.hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
        return buffer;
    }
    Buffer& written(HWAVEOUT out, const std::string& bytes) {
        Buffer& block = buffers.make(bytes.size());
        std::copy(bytes.begin(), bytes.end(), block.data.begin());
        EXPECT_EQ(waveOutPrepareHeader(out, block.hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
        EXPECT_EQ(waveOutWrite(out, block.hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
        return block;
    }
    // What the driver's thread gets when it asks for `size` bytes.
    std::string play(std::size_t size) {
        std::string out(size, '\0');
        const std::size_t got = driver->host(Direction::output)
                                    .play(std::as_writable_bytes(std::span(out.data(), size)));
        out.resize(got);
        return out;
    }
    // The loss as the driver reports it: from a thread of its own.
    void lose(Direction direction) {
        std::thread([&] { driver->host(direction).deviceLost(); }).join();
    }
    void expectReturnedInOrder(UINT msg, const std::vector<Buffer*>& headers) {
        const auto seen = window.take();
        ASSERT_EQ(seen.size(), headers.size() + 1);  // after the open
        for (std::size_t i = 0; i < headers.size(); ++i) {
            EXPECT_EQ(seen[i + 1].msg, msg);
            EXPECT_EQ(seen[i + 1].param, headers[i]->param()) << i;
            EXPECT_EQ(seen[i + 1].flags, DWORD{WHDR_PREPARED | WHDR_DONE}) << i;
        }
    }

    const std::shared_ptr<wave::Driver> previous = wave::currentDriver();
    const std::shared_ptr<HandDriver> driver = std::make_shared<HandDriver>();
    const WAVEFORMATEX format = pcmFormat(2, 1000, 16);  // 4-byte frames
    NotificationWindow window;
    Buffers buffers;
};

TEST_F(HandDriven, ALostInputReturnsEveryBufferAtOnceAndStillStopsResetsAndCloses) {
    HWAVEIN in = nullptr;
    ASSERT_EQ(waveInOpen(&in, 0, &format, window.callback(), 0, CALLBACK_WINDOW), MMSYSERR_NOERROR);
    std::vector<Buffer*> queued;
    for (int i = 0; i < 3; ++i) {
        queued.push_back(&prepared(in, 64));
        ASSERT_EQ(waveInAddBuffer(in, queued.back()->hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    }
    ASSERT_EQ(waveInStart(in), MMSYSERR_NOERROR);
    lose(Direction::input);
    expectReturnedInOrder(MM_WIM_DATA, queued);

    // Nothing moves any more; cleaning up works as after any stop.
    EXPECT_EQ(waveInAddBuffer(in, queued[0]->hdr(), sizeof(WAVEHDR)), MMSYSERR_NODRIVER);
    EXPECT_EQ(waveInStart(in), MMSYSERR_NODRIVER);
    WAVEINCAPSA caps{};
    EXPECT_EQ(waveInGetDevCapsA(handleValue(in), &caps, sizeof caps), MMSYSERR_NODRIVER);
    EXPECT_EQ(waveInStop(in), MMSYSERR_NOERROR);
    EXPECT_EQ(waveInReset(in), MMSYSERR_NOERROR);
    for (Buffer* buffer : queued) {
        EXPECT_EQ(waveInUnprepareHeader(in, buffer->hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    }
    ASSERT_EQ(waveInClose(in), MMSYSERR_NOERROR);
    const auto closed = window.take();
    ASSERT_EQ(closed.size(), 1u);
    EXPECT_EQ(closed[0].msg, MM_WIM_CLOSE);
}

TEST_F(HandDriven, ALostOutputReturnsEveryBlockAtOnceAndStillResetsAndCloses) {
    HWAVEOUT out = nullptr;
    ASSERT_EQ(waveOutOpen(&out, 0, &format, window.callback(), 0, CALLBACK_WINDOW),
              MMSYSERR_NOERROR);
    std::vector<Buffer*> queued = {&written(out, "abcdefgh"), &written(out, "ijkl")};
    EXPECT_EQ(play(4), "abcd");
    lose(Direction::output);
    expectReturnedInOrder(MM_WOM_DONE, queued);
    EXPECT_EQ(play(4), "") << "a lost stream gives the driver nothing";

    EXPECT_EQ(waveOutWrite(out, queued[0]->hdr(), sizeof(WAVEHDR)), MMSYSERR_NODRIVER);
    EXPECT_EQ(waveOutPause(out), MMSYSERR_NODRIVER);
    EXPECT_EQ(waveOutRestart(out), MMSYSERR_NODRIVER);
    DWORD volume = 0;
    EXPECT_EQ(waveOutGetVolume(out, &volume), MMSYSERR_NODRIVER);
    EXPECT_EQ(waveOutSetVolume(out, 0), MMSYSERR_NODRIVER);
    EXPECT_EQ(waveOutReset(out), MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutClose(out), MMSYSERR_NOERROR);
    EXPECT_EQ(window.take().back().msg, MM_WOM_CLOSE);
}

TEST_F(HandDriven, AStreamLostWhileNothingIsQueuedClosesAtOnce) {
    HWAVEIN in = nullptr;
    ASSERT_EQ(waveInOpen(&in, 0, &format, window.callback(), 0, CALLBACK_WINDOW), MMSYSERR_NOERROR);
    lose(Direction::input);
    EXPECT_EQ(waveInReset(in), MMSYSERR_NOERROR);
    EXPECT_EQ(waveInClose(in), MMSYSERR_NOERROR);
}

// The device still holds frames of blocks already returned: a pause keeps
// them, a restart plays them even with nothing queued, a reset drops them.
TEST_F(HandDriven, PauseAndRestartLetTheDriverKeepWhatItHolds) {
    HWAVEOUT out = nullptr;
    ASSERT_EQ(waveOutOpen(&out, 0, &format, window.callback(), 0, CALLBACK_WINDOW),
              MMSYSERR_NOERROR);
    written(out, "abcd");
    EXPECT_EQ(play(8), "abcd");  // done; its frames are in the device now
    ASSERT_EQ(waveOutPause(out), MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutRestart(out), MMSYSERR_NOERROR);
    EXPECT_EQ(driver->requests, (std::vector<std::string>{"start", "pause", "resume"}));

    ASSERT_EQ(waveOutPause(out), MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutReset(out), MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutRestart(out), MMSYSERR_NOERROR);  // not paused any more: nothing to do
    EXPECT_EQ(driver->requests,
              (std::vector<std::string>{"start", "pause", "resume", "pause", "stop"}));

    // Paused before anything played: the next restart starts afresh.
    ASSERT_EQ(waveOutPause(out), MMSYSERR_NOERROR);
    written(out, "efgh");
    ASSERT_EQ(waveOutRestart(out), MMSYSERR_NOERROR);
    EXPECT_EQ(driver->requests.back(), "start");
    EXPECT_EQ(play(8), "efgh");
    ASSERT_EQ(waveOutClose(out), MMSYSERR_NOERROR);
}

// The rule for blocks that end inside a frame: the partial frame is not
// played, and the next block starts on a frame of its own, however the
// driver's reads meet the blocks.
TEST_F(HandDriven, ABlockPlaysItsWholeFramesOnlyWhateverTheTiming) {
    HWAVEOUT out = nullptr;
    ASSERT_EQ(waveOutOpen(&out, 0, &format, window.callback(), 0, CALLBACK_WINDOW),
              MMSYSERR_NOERROR);
    const std::vector<std::string> blocks = {"abcdE", "FGH", "ijklmnopQR", "stuv"};
    const std::string expected = "abcdijklmnopstuv";

    for (const auto& block : blocks) written(out, block);
    EXPECT_EQ(play(64), expected) << "all queued before the device reads";

    std::string dribbled;
    for (const auto& block : blocks) {
        written(out, block);
        dribbled += play(64);  // the device runs dry after each block
    }
    EXPECT_EQ(dribbled, expected);

    std::string frameByFrame;
    for (const auto& block : blocks) written(out, block);
    for (int i = 0; i < 8; ++i) frameByFrame += play(4);
    EXPECT_EQ(frameByFrame, expected);

    const auto seen = window.take();
    EXPECT_EQ(std::count_if(seen.begin(), seen.end(),
                            [](const Notification& n) { return n.msg == MM_WOM_DONE; }),
              3 * 4);
    ASSERT_EQ(waveOutClose(out), MMSYSERR_NOERROR);
}

TEST_F(HandDriven, TheMapperOpensTheDefaultAndAHandleReachesItsStreamsOwnVolume) {
    HWAVEOUT mapped = nullptr;
    HWAVEOUT numbered = nullptr;
    ASSERT_EQ(waveOutOpen(&mapped, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutOpen(&numbered, 0, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    EXPECT_EQ(driver->requests, std::vector<std::string>{"open default"});

    ASSERT_EQ(waveOutSetVolume(mapped, 0x1234), MMSYSERR_NOERROR);
    DWORD volume = 0;
    EXPECT_EQ(waveOutGetVolume(mapped, &volume), MMSYSERR_NOERROR);
    EXPECT_EQ(volume, 0x1234u);
    EXPECT_EQ(waveOutGetVolume(numbered, &volume), MMSYSERR_NOERROR);
    EXPECT_EQ(volume, 0xFFFFu) << "the other stream keeps its own";
    EXPECT_EQ(waveOutGetVolume(reinterpret_cast<HWAVEOUT>(UINT_PTR{0}), &volume), MMSYSERR_NOERROR);
    EXPECT_EQ(volume, 0u) << "the device's is the driver's";
    EXPECT_EQ(waveOutClose(mapped), MMSYSERR_NOERROR);
    EXPECT_EQ(waveOutClose(numbered), MMSYSERR_NOERROR);
}

}  // namespace
}  // namespace sorvan::wavetest
