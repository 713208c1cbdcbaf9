// A driver writing straight into the queued capture buffers through the
// host's captureSpace/captured pair.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <future>

#include "WaveTestSupport.h"
#include "platform/wave/Driver.h"

namespace sorvan::wavetest {
namespace {

using namespace std::chrono_literals;

// One input device whose stream does nothing by itself: the test plays the
// driver's thread through the host it keeps.
class HostKeepingDriver final : public wave::Driver {
  public:
    std::size_t deviceCount(wave::Direction direction) override {
        return direction == wave::Direction::input ? 1 : 0;
    }
    wave::DeviceInfo device(wave::Direction, std::size_t) override { return {.name = "Lender"}; }
    std::size_t defaultDevice(wave::Direction) override { return 0; }
    MMRESULT checkFormat(wave::Direction, std::size_t, const WAVEFORMATEX&) override {
        return MMSYSERR_NOERROR;
    }
    MMRESULT open(wave::Direction, std::size_t, const WAVEFORMATEX&, wave::StreamHost& streamHost,
                  std::unique_ptr<wave::DriverStream>& stream) override {
        host = &streamHost;
        stream = std::make_unique<IdleStream>();
        return MMSYSERR_NOERROR;
    }
    MMRESULT getVolume(std::size_t, DWORD&) override { return MMSYSERR_NOTSUPPORTED; }
    MMRESULT setVolume(std::size_t, DWORD) override { return MMSYSERR_NOTSUPPORTED; }

    wave::StreamHost* host = nullptr;

  private:
    struct IdleStream final : wave::DriverStream {
        MMRESULT start() override { return MMSYSERR_NOERROR; }
        MMRESULT stop() override { return MMSYSERR_NOERROR; }
    };
};

class CaptureSpace : public ::testing::Test {
  protected:
    void SetUp() override {
        wave::useDriver(driver);
        ASSERT_EQ(waveInOpen(&in, 0, &format, window.callback(), 0, CALLBACK_WINDOW),
                  MMSYSERR_NOERROR);
        host = driver->host;
    }
    void TearDown() override {
        waveInReset(in);
        waveInClose(in);
        pumpMessages();
        wave::useDriver(previous);
    }

    Buffer& queue(std::size_t size) {
        Buffer& buffer = buffers.make(size);
        EXPECT_EQ(waveInPrepareHeader(in, buffer.hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
        EXPECT_EQ(waveInAddBuffer(in, buffer.hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
        return buffer;
    }

    std::vector<Notification> dataNotifications() {
        auto seen = window.take();
        std::erase_if(seen, [](const Notification& n) { return n.msg != MM_WIM_DATA; });
        return seen;
    }

    const std::shared_ptr<wave::Driver> previous = wave::currentDriver();
    const std::shared_ptr<HostKeepingDriver> driver = std::make_shared<HostKeepingDriver>();
    const WAVEFORMATEX format = pcmFormat(2, 48000, 16);  // 4-byte frames
    NotificationWindow window;
    Buffers buffers;
    HWAVEIN in = nullptr;
    wave::StreamHost* host = nullptr;
};

TEST_F(CaptureSpace, FramesWrittenIntoTheSpaceLandInTheQueuedBuffers) {
    Buffer& first = queue(10);  // room for two frames and a half
    Buffer& second = queue(8);
    EXPECT_TRUE(host->captureSpace().empty()) << "not started";
    ASSERT_EQ(waveInStart(in), MMSYSERR_NOERROR);

    std::span<std::byte> space = host->captureSpace();
    ASSERT_EQ(static_cast<void*>(space.data()), first.data.data());
    ASSERT_EQ(space.size(), 8u);
    EXPECT_TRUE(host->captureSpace().empty()) << "one lend at a time";
    std::memset(space.data(), 0x11, 4);
    EXPECT_EQ(host->captured(6), 4u) << "whole frames only";
    EXPECT_TRUE(dataNotifications().empty());

    space = host->captureSpace();
    ASSERT_EQ(static_cast<void*>(space.data()), first.data.data() + 4);
    ASSERT_EQ(space.size(), 4u);
    std::memset(space.data(), 0x22, 4);
    EXPECT_EQ(host->captured(4), 4u);

    const auto returned = dataNotifications();
    ASSERT_EQ(returned.size(), 1u);
    EXPECT_EQ(returned[0].param, first.param());
    EXPECT_EQ(returned[0].bytesRecorded, 8u);
    EXPECT_EQ(std::count(first.data.begin(), first.data.begin() + 4, 0x11), 4);
    EXPECT_EQ(std::count(first.data.begin() + 4, first.data.begin() + 8, 0x22), 4);

    EXPECT_EQ(static_cast<void*>(host->captureSpace().data()), second.data.data());
    EXPECT_EQ(host->captured(0), 0u);
    EXPECT_EQ(host->captured(4), 0u) << "nothing lent";
    EXPECT_EQ(second.header.dwBytesRecorded, 0u);
}

TEST_F(CaptureSpace, StopAndResetWaitForALentBufferBeforeReturningIt) {
    for (auto call : {waveInStop, waveInReset}) {
        Buffer& buffer = queue(8);
        ASSERT_EQ(waveInStart(in), MMSYSERR_NOERROR);
        const std::span<std::byte> space = host->captureSpace();
        ASSERT_EQ(space.size(), 8u);

        auto returning = std::async(std::launch::async, call, in);
        EXPECT_EQ(returning.wait_for(50ms), std::future_status::timeout);
        EXPECT_TRUE(buffer.header.dwFlags & WHDR_INQUEUE);
        std::memset(space.data(), 0x33, 4);
        host->captured(4);
        EXPECT_EQ(returning.get(), MMSYSERR_NOERROR);

        EXPECT_TRUE(buffer.header.dwFlags & WHDR_DONE);
        EXPECT_EQ(buffer.header.dwBytesRecorded, 4u);
        EXPECT_EQ(std::count(buffer.data.begin(), buffer.data.begin() + 4, 0x33), 4);
        EXPECT_TRUE(host->captureSpace().empty()) << "stopped";
        ASSERT_EQ(dataNotifications().size(), 1u);
    }
}

}  // namespace
}  // namespace sorvan::wavetest
