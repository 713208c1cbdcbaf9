// The stream thread of the alsa driver is woken for a queued header only
// while it waits for one. These runs hand a single header back and forth as
// fast as the free-running "silence" PCM moves it: the test thread spins on
// its messages and hands the header back the moment it arrives, so that the
// stream thread, which runs dry after every header, races the next one into
// its wait. A lost wake-up leaves the stream stalled with the header queued.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "AlsaTestSetup.h"
#include "WaveTestSupport.h"
#include "platform/alsa/AlsaStream.h"

namespace sorvan::alsatest {
namespace {

using wavetest::Buffer;
using wavetest::pcmFormat;

constexpr int handBacks = 3000;
// Far longer than a hand-back takes, even under a sanitizer on a busy machine.
constexpr auto stallTime = std::chrono::seconds(5);

class AlsaWakeup : public ::testing::Test {
  protected:
    void SetUp() override { useTestDevices(); }

    // Hands the header back through `queue` every time it comes back, now
    // and then after a short pause so that the stream thread is already
    // asleep. Returns how many hand-backs were left when it stalled.
    template <class Queue>
    int relay(Queue queue) {
        const unsigned seed = std::random_device{}();
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 random(seed);
        int left = handBacks;
        auto lastSeen = std::chrono::steady_clock::now();
        while (left > 0 && std::chrono::steady_clock::now() - lastSeen < stallTime) {
            for (const auto& notification : window.take()) {
                if (notification.msg != MM_WIM_DATA && notification.msg != MM_WOM_DONE) continue;
                lastSeen = std::chrono::steady_clock::now();
                if (--left == 0) break;
                if (random() % 4 == 0) {
                    std::this_thread::sleep_for(std::chrono::microseconds(random() % 300));
                }
                EXPECT_EQ(queue(), MMSYSERR_NOERROR);
            }
        }
        return left;
    }

    const WAVEFORMATEX format = pcmFormat(2, 48000, 16);
    wavetest::NotificationWindow window;
    wavetest::Buffers buffers;
};

TEST_F(AlsaWakeup, EveryBufferHandedBackWakesACaptureThatRanDry) {
    HWAVEIN in = nullptr;
    ASSERT_EQ(waveInOpen(&in, inputDevice("silence"), &format, window.callback(), 0,
                         CALLBACK_WINDOW),
              MMSYSERR_NOERROR);
    Buffer& buffer = buffers.make(256);
    ASSERT_EQ(waveInPrepareHeader(in, buffer.hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    ASSERT_EQ(waveInAddBuffer(in, buffer.hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    ASSERT_EQ(waveInStart(in), MMSYSERR_NOERROR);

    EXPECT_EQ(relay([&] { return waveInAddBuffer(in, buffer.hdr(), sizeof(WAVEHDR)); }), 0)
        << "the capture stalled with a buffer queued";

    ASSERT_EQ(waveInReset(in), MMSYSERR_NOERROR);
    EXPECT_EQ(waveInUnprepareHeader(in, buffer.hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    EXPECT_EQ(waveInClose(in), MMSYSERR_NOERROR);
}

TEST_F(AlsaWakeup, EveryBlockWrittenWakesAPlaybackThatRanDry) {
    HWAVEOUT out = nullptr;
    ASSERT_EQ(waveOutOpen(&out, outputDevice("silence"), &format, window.callback(), 0,
                          CALLBACK_WINDOW),
              MMSYSERR_NOERROR);
    Buffer& block = buffers.make(256);
    ASSERT_EQ(waveOutPrepareHeader(out, block.hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutWrite(out, block.hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);

    EXPECT_EQ(relay([&] { return waveOutWrite(out, block.hdr(), sizeof(WAVEHDR)); }), 0)
        << "the playback stalled with a block queued";

    ASSERT_EQ(waveOutReset(out), MMSYSERR_NOERROR);
    EXPECT_EQ(waveOutUnprepareHeader(out, block.hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    EXPECT_EQ(waveOutClose(out), MMSYSERR_NOERROR);
}

// A core whose one header is queued at the worst moment: right after the
// stream thread found the queue empty, before it waits, which is the race
// the hand-back runs above can only hope to hit. The header comes at the
// first look after arm(), which wakes a thread asleep for want of headers.
class LateHeader final : public wave::StreamHost {
  public:
    explicit LateHeader(wave::DriverStream*& stream) : stream_(stream) {}

    void arm() {
        {
            std::lock_guard lock(mutex_);
            armed_ = true;
        }
        stream_->dataQueued();
    }

    std::span<std::byte> captureSpace() override {
        if (!look()) return {};
        std::lock_guard lock(mutex_);
        return moved_ ? std::span<std::byte>{} : std::span(header_);
    }
    std::size_t captured(std::size_t bytes) override {
        markMoved();
        return bytes;
    }
    std::size_t capture(std::span<const std::byte>) override { return 0; }
    void deviceLost() override {}
    std::size_t play(std::span<std::byte> out) override {
        markMoved();
        return std::min(out.size(), header_.size());
    }
    std::size_t pendingBytes() override {
        if (!look()) return 0;
        std::lock_guard lock(mutex_);
        return moved_ ? 0 : header_.size();
    }

    // Whether the thread moved the header within a second.
    bool moved() {
        std::unique_lock lock(mutex_);
        return movedChanged_.wait_for(lock, std::chrono::seconds(1), [&] { return moved_; });
    }

  private:
    // False, queueing the header, at the first look once armed.
    bool look() {
        {
            std::lock_guard lock(mutex_);
            if (!armed_) return false;
            if (arrived_) return true;
            arrived_ = true;
        }
        stream_->dataQueued();
        return false;
    }

    void markMoved() {
        std::lock_guard lock(mutex_);
        moved_ = true;
        movedChanged_.notify_all();
    }

    wave::DriverStream*& stream_;
    std::vector<std::byte> header_ = std::vector<std::byte>(64 * 4);
    std::mutex mutex_;
    std::condition_variable movedChanged_;
    bool armed_ = false;
    bool arrived_ = false;
    bool moved_ = false;
};

TEST_F(AlsaWakeup, AHeaderQueuedJustAsTheThreadRunsDryIsNotSleptThrough) {
    for (const auto direction : {wave::Direction::input, wave::Direction::output}) {
        SCOPED_TRACE(direction == wave::Direction::input ? "capture" : "playback");
        alsa::Pcm pcm;
        ASSERT_EQ(alsa::openPcm("silence", direction, pcm), 0);
        alsa::Geometry geometry;
        ASSERT_EQ(alsa::configure(pcm.get(), direction, format, 480, 0, geometry), 0);
        wave::DriverStream* driverStream = nullptr;
        LateHeader host(driverStream);
        alsa::AlsaStream stream(std::move(pcm), direction, format, geometry, host,
                                std::make_shared<alsa::OutputVolume>(nullptr));
        driverStream = &stream;
        ASSERT_EQ(stream.start(), MMSYSERR_NOERROR);
        // Lets the thread run dry and fall asleep before the header comes.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));

        host.arm();

        EXPECT_TRUE(host.moved());
        EXPECT_EQ(stream.stop(), MMSYSERR_NOERROR);
    }
}

}  // namespace
}  // namespace sorvan::alsatest
