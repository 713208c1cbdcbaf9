// The alsa driver sizes its period to the headers the application queues,
// within what the device takes: one header per period, whatever its size.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "AlsaTestSetup.h"
#include "WaveTestSupport.h"
#include "platform/alsa/AlsaStream.h"

namespace sorvan::alsatest {
namespace {

using wave::Direction;

// A core with an endless supply of headers of one size, `queued` at a time.
class EndlessHeaders final : public wave::StreamHost {
  public:
    EndlessHeaders(std::size_t bytes, std::size_t queued) : header_(bytes), queued_(queued) {}

    std::span<std::byte> captureSpace() override { return header_; }
    std::size_t captured(std::size_t bytes) override { return moved(bytes); }
    std::size_t capture(std::span<const std::byte>) override { return 0; }
    void deviceLost() override {}
    std::size_t play(std::span<std::byte> out) override {
        const std::size_t bytes = std::min(out.size(), header_.size());
        std::memset(out.data(), 0, bytes);
        return moved(bytes);
    }
    std::size_t pendingBytes() override { return queued_ * header_.size(); }
    std::size_t headBytes() override { return header_.size(); }

    // Waits until `count` headers' worth of frames moved; false after two seconds.
    bool waitForHeaders(std::size_t count) {
        std::unique_lock lock(mutex_);
        return movedChanged_.wait_for(lock, std::chrono::seconds(2),
                                      [&] { return moved_ >= count * header_.size(); });
    }

  private:
    std::size_t moved(std::size_t bytes) {
        std::lock_guard lock(mutex_);
        moved_ += bytes;
        movedChanged_.notify_all();
        return bytes;
    }

    std::vector<std::byte> header_;
    const std::size_t queued_;
    std::mutex mutex_;
    std::condition_variable movedChanged_;
    std::size_t moved_ = 0;
};

class AlsaPeriod : public ::testing::TestWithParam<Direction> {
  protected:
    void SetUp() override { useTestDevices(); }

    struct Sizes {
        unsigned long period = 0;
        unsigned long buffer = 0;
    };

    snd_pcm_uframes_t periodFor(snd_pcm_uframes_t frames) { return sizesFor(frames, 2).period; }

    // The test PCM, opened as the driver opens a stream, then run on
    // `queued` headers of `frames` frames; returns the device's period and
    // buffer.
    Sizes sizesFor(snd_pcm_uframes_t frames, std::size_t queued) {
        const std::string report = temporaryPath("geometry.txt");
        const std::string text = std::string("pcm_type.sorvan_test { lib \"") +
                                 SORVAN_ALSA_TEST_PCM + "\" }\npcm.sized { type sorvan_test " +
                                 "geometry_to \"" + report + "\" }\n";
        snd_config_t* config = nullptr;
        snd_input_t* input = nullptr;
        EXPECT_EQ(snd_config_top(&config), 0);
        EXPECT_EQ(snd_input_buffer_open(&input, text.data(), static_cast<ssize_t>(text.size())), 0);
        EXPECT_EQ(snd_config_load(config, input), 0);
        snd_input_close(input);
        {
            snd_pcm_t* raw = nullptr;
            const auto stream =
                GetParam() == Direction::input ? SND_PCM_STREAM_CAPTURE : SND_PCM_STREAM_PLAYBACK;
            EXPECT_EQ(snd_pcm_open_lconf(&raw, "sized", stream, SND_PCM_NONBLOCK, config), 0);
            alsa::Pcm pcm(raw);
            EndlessHeaders host(frames * format.nBlockAlign, queued);
            alsa::AlsaStream moving(std::move(pcm), GetParam(), format,
                                    alsa::expectedGeometry(format), host,
                                    std::make_shared<alsa::OutputVolume>(nullptr));
            EXPECT_EQ(moving.start(), MMSYSERR_NOERROR);
            EXPECT_TRUE(host.waitForHeaders(3));
            EXPECT_EQ(moving.stop(), MMSYSERR_NOERROR);
        }
        snd_config_delete(config);
        Sizes sizes;
        std::ifstream(report) >> sizes.period >> sizes.buffer;
        return sizes;
    }

    const WAVEFORMATEX format = wavetest::pcmFormat(2, 48000, 16);
};

TEST_P(AlsaPeriod, ThePeriodIsTheSizeOfTheHeadersQueued) {
    EXPECT_EQ(periodFor(64), 64u);
    EXPECT_EQ(periodFor(480), 480u);
}

TEST_P(AlsaPeriod, LongerHeadersAreCutIntoEqualPeriodsOfAtMostTenMilliseconds) {
    EXPECT_EQ(periodFor(481), 240u);
    EXPECT_EQ(periodFor(2048), 409u);
    EXPECT_EQ(periodFor(4800), 480u);
}

// The device holds what the application queued, so that more buffers
// give more slack: at least four periods, at most what the device takes
// (the test PCM takes 64 periods).
TEST_P(AlsaPeriod, TheBufferHoldsEveryHeaderQueued) {
    EXPECT_EQ(sizesFor(480, 2).buffer, 4 * 480u);
    EXPECT_EQ(sizesFor(1200, 9).buffer, 9 * 1200u);
    EXPECT_EQ(sizesFor(4800, 9).buffer, 64 * 480u);
}

TEST_P(AlsaPeriod, HeadersSmallerThanTheDeviceTakesGetItsSmallestPeriod) {
    // The test PCM's periods hold 64 bytes at least: 16 frames here.
    EXPECT_EQ(periodFor(4), 16u);
}

// The test device stands in for a card: left alone for longer than its
// buffer, it overruns (capture) or underruns (playback).
TEST_P(AlsaPeriod, TheTestDeviceRunsOverAndDryLikeACard) {
    snd_pcm_t* pcm = nullptr;
    const bool capture = GetParam() == Direction::input;
    ASSERT_EQ(snd_pcm_open(&pcm, "default",
                           capture ? SND_PCM_STREAM_CAPTURE : SND_PCM_STREAM_PLAYBACK, 0),
              0);
    // 10 ms periods, a 40 ms buffer.
    ASSERT_EQ(snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED, 2,
                                 48000, 0, 40000),
              0);
    std::vector<char> period(480 * 4);
    if (capture) {
        ASSERT_EQ(snd_pcm_start(pcm), 0);
    } else {
        for (int i = 0; i < 4; ++i) ASSERT_EQ(snd_pcm_writei(pcm, period.data(), 480), 480);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));

    const snd_pcm_sframes_t moved = capture ? snd_pcm_readi(pcm, period.data(), 480)
                                            : snd_pcm_writei(pcm, period.data(), 480);
    EXPECT_EQ(moved, -EPIPE);
    snd_pcm_close(pcm);
}

INSTANTIATE_TEST_SUITE_P(Both, AlsaPeriod, ::testing::Values(Direction::input, Direction::output),
                         [](const auto& info) {
                             return info.param == Direction::input ? "Capture" : "Playback";
                         });

}  // namespace
}  // namespace sorvan::alsatest
