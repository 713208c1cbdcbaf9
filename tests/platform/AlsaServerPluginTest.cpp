// The sound servers' ALSA plug-ins keep their descriptor readable while
// they have no period for the reader, and drop frames without an xrun. The
// "sticky" and "stalling" test PCMs do the same, paced like a card.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "AlsaTestSetup.h"
#include "WaveTestSupport.h"
#include "platform/WaveGaps.h"

namespace sorvan::alsatest {
namespace {

using wavetest::Buffer;
using wavetest::pcmFormat;

constexpr DWORD periodFrames = 441;  // 10 ms at 44.1 kHz
constexpr int periods = 30;

class AlsaServerPlugin : public ::testing::Test {
  protected:
    void SetUp() override { useTestDevices(); }

    // How often the sticky device's poll events were asked for while it was open.
    static unsigned long reventsAsked() {
        const std::vector<char> count = readFile(temporaryPath("sticky"));
        return std::stoul(std::string(count.begin(), count.end()));
    }

    const WAVEFORMATEX format = pcmFormat(2, 44100, 16);
    wavetest::NotificationWindow window;
    wavetest::Buffers buffers;
};

// A thread that polled the descriptor again would ask tens of thousands of times.
constexpr unsigned long mostAsksPerPeriod = 4;

TEST_F(AlsaServerPlugin, ACaptureSleepsUntilTheDeviceHasAPeriod) {
    HWAVEIN in = nullptr;
    ASSERT_EQ(waveInOpen(&in, inputDevice("sticky"), &format, window.callback(), 0,
                         CALLBACK_WINDOW),
              MMSYSERR_NOERROR);
    window.take();
    std::vector<WAVEHDR*> headers;
    for (int i = 0; i < 2; ++i) {
        Buffer& buffer = buffers.make(periodFrames * format.nBlockAlign);
        headers.push_back(buffer.hdr());
        ASSERT_EQ(waveInPrepareHeader(in, buffer.hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
        ASSERT_EQ(waveInAddBuffer(in, buffer.hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    }
    ASSERT_EQ(waveInStart(in), MMSYSERR_NOERROR);
    int delivered = 0;
    while (delivered < periods) {
        const auto seen = collect(window, 1);
        ASSERT_FALSE(seen.empty()) << "the capture stalled";
        for (const auto& notification : seen) {
            if (notification.msg != MM_WIM_DATA) continue;
            ++delivered;
            auto* header = reinterpret_cast<WAVEHDR*>(notification.param);
            ASSERT_EQ(waveInAddBuffer(in, header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
        }
    }
    ASSERT_EQ(waveInReset(in), MMSYSERR_NOERROR);
    for (WAVEHDR* header : headers) {
        EXPECT_EQ(waveInUnprepareHeader(in, header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    }
    ASSERT_EQ(waveInClose(in), MMSYSERR_NOERROR);

    EXPECT_LE(reventsAsked(), mostAsksPerPeriod * periods);
}

TEST_F(AlsaServerPlugin, APlaybackSleepsUntilTheDeviceHasRoom) {
    HWAVEOUT out = nullptr;
    ASSERT_EQ(waveOutOpen(&out, outputDevice("sticky"), &format, window.callback(), 0,
                          CALLBACK_WINDOW),
              MMSYSERR_NOERROR);
    window.take();
    for (int i = 0; i < periods; ++i) {
        Buffer& block = buffers.make(periodFrames * format.nBlockAlign);
        ASSERT_EQ(waveOutPrepareHeader(out, block.hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
        ASSERT_EQ(waveOutWrite(out, block.hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    }
    EXPECT_EQ(collect(window, periods).size(), static_cast<std::size_t>(periods));
    ASSERT_EQ(waveOutClose(out), MMSYSERR_NOERROR);

    EXPECT_LE(reventsAsked(), mostAsksPerPeriod * periods);
}

// PulseAudio's plug-in keeps reporting the server's latency as its delay
// once it has played everything, and never runs dry.
TEST_F(AlsaServerPlugin, TheLastBlockIsDoneThoughTheDelayNeverReachesZero) {
    HWAVEOUT out = nullptr;
    ASSERT_EQ(waveOutOpen(&out, outputDevice("lagging"), &format, window.callback(), 0,
                          CALLBACK_WINDOW),
              MMSYSERR_NOERROR);
    window.take();
    Buffer& block = buffers.make(4 * periodFrames * format.nBlockAlign);
    ASSERT_EQ(waveOutPrepareHeader(out, block.hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutWrite(out, block.hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    const auto seen = collect(window, 1);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].msg, MM_WOM_DONE);
    EXPECT_EQ(waveOutClose(out), MMSYSERR_NOERROR);
}

// Records 100 buffers of a period, handing each back as it comes, or only
// after `late` once the first half have come; the gaps counted then.
WaveGaps recordGaps(const std::string& pcm, const WAVEFORMATEX& format,
                    std::chrono::milliseconds late = {}) {
    wavetest::NotificationWindow window;
    wavetest::Buffers buffers;
    HWAVEIN in = nullptr;
    EXPECT_EQ(waveInOpen(&in, inputDevice(pcm), &format, window.callback(), 0, CALLBACK_WINDOW),
              MMSYSERR_NOERROR);
    std::vector<WAVEHDR*> headers;
    for (int i = 0; i < 2; ++i) {
        headers.push_back(buffers.make(periodFrames * format.nBlockAlign).hdr());
        EXPECT_EQ(waveInPrepareHeader(in, headers.back(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
        EXPECT_EQ(waveInAddBuffer(in, headers.back(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    }
    EXPECT_EQ(waveInStart(in), MMSYSERR_NOERROR);
    constexpr int count = 100;
    for (int delivered = 0; delivered < count;) {
        const auto seen = collect(window, 1);
        if (seen.empty()) break;
        for (const auto& notification : seen) {
            if (notification.msg != MM_WIM_DATA) continue;
            if (++delivered == count / 2) std::this_thread::sleep_for(late);
            EXPECT_EQ(waveInAddBuffer(in, reinterpret_cast<WAVEHDR*>(notification.param),
                                      sizeof(WAVEHDR)),
                      MMSYSERR_NOERROR);
        }
    }
    WaveGaps gaps;
    EXPECT_EQ(waveInGetGaps(in, &gaps), MMSYSERR_NOERROR);
    EXPECT_EQ(waveInReset(in), MMSYSERR_NOERROR);
    for (WAVEHDR* header : headers) waveInUnprepareHeader(in, header, sizeof(WAVEHDR));
    EXPECT_EQ(waveInClose(in), MMSYSERR_NOERROR);
    return gaps;
}

TEST_F(AlsaServerPlugin, FramesLostWithoutAnXrunAreCountedByTheClock) {
    const WaveGaps clean = recordGaps("default", format);
    EXPECT_EQ(clean, WaveGaps{});
    const WaveGaps gaps = recordGaps("stalling", format);
    EXPECT_EQ(gaps.deviceGaps, 1u);
    // The stall is 2205 frames; the position moves a period at a time.
    EXPECT_NEAR(static_cast<double>(gaps.deviceFrames), 2205, periodFrames);
    EXPECT_EQ(gaps.lateGaps, 0u);
}

TEST_F(AlsaServerPlugin, AnApplicationThatHandsBuffersBackLateIsToldSo) {
    // Two buffers of 10 ms, and the buffer of the device 40 ms: 100 ms late overruns.
    const WaveGaps gaps = recordGaps("default", format, std::chrono::milliseconds(100));
    EXPECT_EQ(gaps.deviceGaps, 0u);
    EXPECT_EQ(gaps.lateGaps, 1u);
    EXPECT_GE(gaps.lateFrames, 2 * periodFrames);
}

}  // namespace
}  // namespace sorvan::alsatest
