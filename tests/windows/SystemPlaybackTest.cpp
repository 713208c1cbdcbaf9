// TSorvanOut on the system's waveform-output API, driven by the system's own
// message loop: every block reported once, OnClose last, capabilities and
// volume, refused opens, and a device closed behind the component's back.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "SystemWave.h"
#include "components/SorvanOut.h"
#include "framework/Forms.h"

namespace {

using namespace std::chrono_literals;
using namespace systemwave;

class PlaybackOnSystem : public testing::Test {
  protected:
    void SetUp() override {
        if (waveOutGetNumDevs() == 0) GTEST_SKIP() << "no waveform-output device";
        out->OnOpen = [this](TObject* sender) {
            EXPECT_EQ(sender, out.get());
            events.push_back("open");
            if (onOpen) onOpen();
        };
        out->OnDone = [this](TObject* sender) {
            EXPECT_EQ(sender, out.get());
            events.push_back("done");
            ++dones;
            if (onDone) onDone();
        };
        out->OnClose = [this](TObject* sender) {
            EXPECT_EQ(sender, out.get());
            events.push_back("close");
            ++closes;
            if (onClose) onClose();
        };
    }

    // Opens the device and runs the loop until its open notification.
    void OpenAndWait() {
        onOpen = [] { Application->Terminate(); };
        ASSERT_TRUE(out->open());
        ASSERT_TRUE(RunUntilTerminated(10s));
        onOpen = nullptr;
    }

    // Queues `count` blocks of `seconds` of the default format (8 kHz, 8 bits, mono).
    void Queue(int count, double seconds) {
        const std::vector<char> block(static_cast<std::size_t>(8000 * seconds), '\x80');
        for (int i = 0; i < count; ++i) {
            EXPECT_TRUE(out->playback(block.data(), static_cast<std::int32_t>(block.size())));
        }
    }

    static std::vector<std::string> DonesThenClose(int count) {
        std::vector<std::string> expected(static_cast<std::size_t>(count), "done");
        expected.emplace_back("close");
        return expected;
    }

    std::unique_ptr<TSorvanOut> out = std::make_unique<TSorvanOut>(nullptr);
    std::vector<std::string> events;
    int dones = 0;
    int closes = 0;
    std::function<void()> onOpen, onDone, onClose;
};

TEST_F(PlaybackOnSystem, TwentyQueuedBlocksGiveTwentyOnDone) {
    onOpen = [&] { Queue(20, 0.05); };
    onDone = [&] {
        if (dones < 20) return;
        EXPECT_FALSE(out->IsPlaying());
        out->close();
    };
    onClose = [] { Application->Terminate(); };
    ASSERT_TRUE(out->open());
    ASSERT_TRUE(RunUntilTerminated(30s));
    std::vector<std::string> expected{"open"};
    const auto rest = DonesThenClose(20);
    expected.insert(expected.end(), rest.begin(), rest.end());
    EXPECT_EQ(events, expected);
    EXPECT_FALSE(out->IsOpen());
}

TEST_F(PlaybackOnSystem, ResetAndCloseWithBlocksQueuedReportEveryBlockThenClose) {
    OpenAndWait();
    onClose = [] { Application->Terminate(); };
    for (const bool resetFirst : {true, false}) {
        SCOPED_TRACE(resetFirst ? "reset, then close" : "close alone");
        events.clear();
        Queue(20, 1.0);
        if (resetFirst) out->reset();
        out->close();
        EXPECT_FALSE(out->IsOpen());
        EXPECT_FALSE(out->IsPlaying());
        ASSERT_TRUE(RunUntilTerminated(10s));
        RunFor(200ms);
        EXPECT_EQ(events, DonesThenClose(20));
        if (resetFirst) OpenAndWait();
    }
}

// The system may hand the reopened device the closed one's handle; the done
// notifications of the closed device's blocks must not take the new blocks.
TEST_F(PlaybackOnSystem, CloseAndReopenAtOnceKeepTheNewBlocksQueued) {
    OpenAndWait();
    const HWAVEOUT firstHandle = out->DeviceID();
    Queue(5, 1.0);
    out->close();
    ASSERT_TRUE(out->open());
    if (out->DeviceID() == firstHandle) {
        ReportSystemBehaviour(
            "a device reopened at once gets the handle value of the one just closed");
    }
    Queue(5, 1.0);
    onClose = [&] {
        // The first device's five blocks are reported; the new ones still play.
        EXPECT_EQ(dones, 5);
        EXPECT_TRUE(out->IsPlaying());
        Application->Terminate();
    };
    ASSERT_TRUE(RunUntilTerminated(10s));
    onClose = [] { Application->Terminate(); };
    out->close();
    ASSERT_TRUE(RunUntilTerminated(10s));
    EXPECT_EQ(dones, 10);
    EXPECT_EQ(closes, 2);
    EXPECT_EQ(events.back(), "close");
}

TEST_F(PlaybackOnSystem, DestroyedWithBlocksQueuedReportsNothingMore) {
    OpenAndWait();
    Queue(20, 1.0);
    out.reset();
    RunFor(300ms);
    EXPECT_EQ(events, std::vector<std::string>{"open"});
}

TEST_F(PlaybackOnSystem, CapabilitiesAreThoseOfTheSelectedDevice) {
    WAVEOUTCAPSA caps{};
    ASSERT_EQ(waveOutGetDevCapsA(WAVE_MAPPER, &caps, sizeof caps), MMSYSERR_NOERROR);
    const TSVOutCaps found = out->GetCaps();
    EXPECT_EQ(found.Contains(ocStereo), caps.wChannels == 2);
    EXPECT_EQ(found.Contains(ocVolume), (caps.dwSupport & WAVECAPS_VOLUME) != 0);
    EXPECT_EQ(found.Contains(ocLRVolume), (caps.dwSupport & WAVECAPS_LRVOLUME) != 0);
    EXPECT_EQ(found.Contains(ocPitch), (caps.dwSupport & WAVECAPS_PITCH) != 0);
    EXPECT_EQ(found.Contains(ocPlaybackRate), (caps.dwSupport & WAVECAPS_PLAYBACKRATE) != 0);
    EXPECT_EQ(found.Contains(ocSync), (caps.dwSupport & WAVECAPS_SYNC) != 0);
    EXPECT_EQ(found.Contains(ocSampleAccurate), (caps.dwSupport & WAVECAPS_SAMPLEACCURATE) != 0);
    if (waveOutGetNumDevs() <= 9) {
        out->SetWantedDev(wvDevice9);
        EXPECT_TRUE(out->GetCaps().Empty());
        EXPECT_EQ(out->GetVolume(), 0);
    }
}

// The volume calls take a device number; a system that takes only open
// handles there refuses them, and the component then reads 0 and sets nothing.
TEST_F(PlaybackOnSystem, VolumeOfDeviceZeroRoundTripsOrReadsZeroWhereNumbersAreRefused) {
    out->SetWantedDev(wvDevice0);
    DWORD before = 0;
    const MMRESULT byNumber = waveOutGetVolume(reinterpret_cast<HWAVEOUT>(0), &before);
    if (byNumber == MMSYSERR_NOERROR) {
        WAVEOUTCAPSA caps{};
        ASSERT_EQ(waveOutGetDevCapsA(0, &caps, sizeof caps), MMSYSERR_NOERROR);
        if ((caps.dwSupport & WAVECAPS_VOLUME) == 0) GTEST_SKIP() << "device 0 has no volume";
        out->SetVolume(0x4000);
        EXPECT_EQ(out->GetVolume(), 0x4000);
        waveOutSetVolume(reinterpret_cast<HWAVEOUT>(0), before);
        return;
    }
    ReportSystemBehaviour("the volume calls refuse a device number with " +
                          std::to_string(byNumber) + ", taking only open handles");
    out->SetVolume(0x4000);
    EXPECT_EQ(out->GetVolume(), 0);
    // Open or not, the component names the device by number.
    OpenAndWait();
    EXPECT_EQ(out->GetVolume(), 0);
}

MMRESULT QueryFormat(std::int32_t channels, std::int32_t samples, std::int32_t bits) {
    const WAVEFORMATEX format = MakePcmFormat(channels, samples, bits);
    return waveOutOpen(nullptr, WAVE_MAPPER, &format, 0, 0, WAVE_FORMAT_QUERY);
}

TEST_F(PlaybackOnSystem, AFormatOrDeviceTheSystemRefusesLeavesTheComponentClosed) {
    const MMRESULT noRate = QueryFormat(1, 0, 8);
    EXPECT_NE(noRate, MMSYSERR_NOERROR);
    if (noRate != WAVERR_BADFORMAT) {
        ReportSystemBehaviour("a rate of 0 is refused with " + std::to_string(noRate) +
                              ", not the documented WAVERR_BADFORMAT (32)");
    }
    out->SetSamples(0);
    EXPECT_FALSE(out->open());
    EXPECT_FALSE(out->IsOpen());
    // A block given to a device that never opened is kept, not lost, and freed with the component.
    const char block[16] = {};
    out->playback(block, sizeof block);

    out->SetSamples(8000);
    if (waveOutGetNumDevs() <= 9) {
        out->SetWantedDev(wvDevice9);
        EXPECT_FALSE(out->open());
        EXPECT_FALSE(out->IsOpen());
    }
    RunFor(200ms);
    EXPECT_TRUE(events.empty());
}

TEST_F(PlaybackOnSystem, AFormatOnlyALenientSystemTakesStillPlaysAndCloses) {
    out->SetBits(12);
    if (QueryFormat(1, 8000, 12) == WAVERR_BADFORMAT) {
        EXPECT_FALSE(out->open());
        return;
    }
    ReportSystemBehaviour(
        "12-bit PCM in a 1-byte frame is accepted, not refused with WAVERR_BADFORMAT");
    OpenAndWait();
    Queue(2, 0.05);
    onDone = [&] {
        if (dones == 2) out->close();
    };
    onClose = [] { Application->Terminate(); };
    ASSERT_TRUE(RunUntilTerminated(10s));
    EXPECT_EQ(events, (std::vector<std::string>{"open", "done", "done", "close"}));
}

// The documentation has the close refused while blocks are queued, the
// handle still open. A system that closes all the same never returns the
// blocks; the component must cope with that without crashing.
TEST_F(PlaybackOnSystem, ADeviceClosedBehindTheComponentsBackWithBlocksQueued) {
    OpenAndWait();
    Queue(3, 1.0);
    const MMRESULT closed = waveOutClose(out->DeviceID());
    if (closed == WAVERR_STILLPLAYING) {
        onClose = [] { Application->Terminate(); };
        out->close();
        ASSERT_TRUE(RunUntilTerminated(10s));
        EXPECT_EQ(events, (std::vector<std::string>{"open", "done", "done", "done", "close"}));
        return;
    }
    ASSERT_EQ(closed, MMSYSERR_NOERROR);
    ReportSystemBehaviour(
        "waveOutClose succeeds with blocks queued, not WAVERR_STILLPLAYING, and never returns "
        "the blocks");
    RunFor(300ms);
    EXPECT_EQ(events, (std::vector<std::string>{"open", "close"}));
    // The blocks still say they are queued, so the component cannot know that
    // the device let go of them; neither its close nor its destruction may
    // free what a device might still read, fail in any other way, or report
    // anything more.
    out->close();
    out.reset();
    RunFor(200ms);
    EXPECT_EQ(events, (std::vector<std::string>{"open", "close"}));
}

}  // namespace
