// TSorvanIn on the system's waveform-input API, driven by the system's own
// message loop: recording files, handle reuse, destruction, refused opens.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "SystemWave.h"
#include "components/SorvanIn.h"
#include "framework/Forms.h"

namespace {

using namespace std::chrono_literals;
using namespace systemwave;

// What the component reported from one open notification on.
struct Take {
    int closes = 0;
    std::vector<char> bytes;  // everything OnData delivered, in order
    int deliveries = 0;
};

class CaptureOnSystem : public testing::Test {
  protected:
    void SetUp() override {
        if (waveInGetNumDevs() == 0) GTEST_SKIP() << "no waveform-input device";
        in->OnOpen = [this](TObject* sender) {
            EXPECT_EQ(sender, in.get());
            events.push_back("open");
            takes.emplace_back();
        };
        in->OnData = [this](TObject* sender, char* data, std::int32_t size) {
            EXPECT_EQ(sender, in.get());
            events.push_back("data");
            ASSERT_FALSE(takes.empty()) << "data before the open notification";
            take().bytes.insert(take().bytes.end(), data, data + size);
            ++take().deliveries;
            if (onData) onData(size);
        };
        in->OnClose = [this](TObject* sender) {
            EXPECT_EQ(sender, in.get());
            events.push_back("close");
            ASSERT_FALSE(takes.empty()) << "a close before the open notification";
            ++take().closes;
            if (onClose) onClose();
        };
    }

    Take& take() { return takes.back(); }

    // Expects the file to hold exactly the bytes delivered, under a complete
    // header that describes the format.
    static void ExpectFileHolds(const std::string& path, const std::vector<char>& bytes,
                                std::uint16_t channels, std::uint32_t rate, std::uint16_t bits) {
        RecordingFile file;
        ASSERT_TRUE(ReadRecordingFile(path, file)) << path;
        EXPECT_EQ(file.FileSize, 44u + bytes.size());
        EXPECT_EQ(file.RiffSize, file.FileSize - 8);
        EXPECT_EQ(file.DataSize, bytes.size());
        EXPECT_EQ(file.FormatTag, WAVE_FORMAT_PCM);
        EXPECT_EQ(file.Channels, channels);
        EXPECT_EQ(file.SamplesPerSec, rate);
        EXPECT_EQ(file.BitsPerSample, bits);
        EXPECT_EQ(file.BlockAlign, channels * bits / 8);
        EXPECT_EQ(file.AvgBytesPerSec, BytesPerSecond(channels, rate, bits));
        EXPECT_TRUE(file.Data == bytes) << "the file's samples differ from those OnData got";
    }

    std::unique_ptr<TSorvanIn> in = std::make_unique<TSorvanIn>(nullptr);
    std::vector<std::string> events;
    std::vector<Take> takes;
    std::function<void(std::int32_t)> onData;
    std::function<void()> onClose;
};

TEST_F(CaptureOnSystem, RecordsTwoSecondsIntoAFileThroughTheMessageLoop) {
    const TemporaryFile wav("sorvan-two-seconds.wav");
    constexpr std::uint32_t twoSeconds = 2 * BytesPerSecond(2, 22050, 16);
    in->SetChannels(2);
    in->SetSamples(22050);
    in->SetBits(16);
    in->SetMaxBuffers(4);
    in->SetInBuffSize(8820);  // a tenth of a second
    in->SetFileName(wav.Path());
    onData = [&](std::int32_t size) {
        EXPECT_EQ(size % 4, 0) << "a delivery of part of a frame";
        if (take().bytes.size() >= twoSeconds) in->close();
    };
    onClose = [] { Application->Terminate(); };

    const auto started = std::chrono::steady_clock::now();
    in->open();
    ASSERT_TRUE(in->IsOpen());
    ASSERT_TRUE(in->IsCapturing());
    ASSERT_TRUE(RunUntilTerminated(30s)) << "the recording did not end";
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
    RecordProperty("seconds_taken", std::to_string(took.count()));

    EXPECT_FALSE(in->IsOpen());
    EXPECT_FALSE(in->IsCapturing());
    ASSERT_EQ(takes.size(), 1u);
    EXPECT_EQ(take().closes, 1);
    EXPECT_EQ(events.front(), "open");
    EXPECT_EQ(events.back(), "close");
    EXPECT_GE(take().bytes.size(), twoSeconds);
    ExpectFileHolds(wav.Path(), take().bytes, 2, 22050, 16);
}

// The system may give the new device the handle the closed one had; the
// closed device's last buffers, returned by the close, then arrive under the
// new device's handle and must not be taken for the new recording's.
TEST_F(CaptureOnSystem, CloseAndReopenAtOnceLeaveEachRecordingItsOwnBytes) {
    const TemporaryFile first("sorvan-reopen-1.wav");
    const TemporaryFile second("sorvan-reopen-2.wav");
    in->SetInBuffSize(800);
    in->SetMaxBuffers(4);
    in->SetFileName(first.Path());
    HWAVEIN firstHandle = nullptr;
    onData = [&](std::int32_t) {
        if (take().deliveries != 5) return;
        if (firstHandle == nullptr) {
            firstHandle = in->DeviceID();
            in->close();
            in->SetFileName(second.Path());
            in->open();
            EXPECT_TRUE(in->IsCapturing());
        } else {
            in->close();
        }
    };
    onClose = [&] {
        if (takes.size() == 2) Application->Terminate();
    };

    in->open();
    ASSERT_TRUE(RunUntilTerminated(30s));
    ASSERT_EQ(takes.size(), 2u);
    if (in->DeviceID() == firstHandle) {
        ReportSystemBehaviour(
            "a device reopened at once gets the handle value of the one just closed");
    }
    // Nothing is delivered between the first close and the second open.
    const std::vector<std::string> oneTake = {"open", "data", "data", "data",
                                              "data", "data", "close"};
    std::vector<std::string> expected = oneTake;
    expected.insert(expected.end(), oneTake.begin(), oneTake.end());
    EXPECT_EQ(events, expected);
    EXPECT_EQ(takes[0].deliveries, 5);
    EXPECT_EQ(takes[1].deliveries, 5);
    ExpectFileHolds(first.Path(), takes[0].bytes, 1, 8000, 8);
    ExpectFileHolds(second.Path(), takes[1].bytes, 1, 8000, 8);
}

TEST_F(CaptureOnSystem, DestroyedWhileRecordingCompletesItsFileWithoutOnClose) {
    const TemporaryFile wav("sorvan-destroyed.wav");
    in->SetInBuffSize(800);
    in->SetFileName(wav.Path());
    onData = [&](std::int32_t) {
        if (take().deliveries == 3) Application->Terminate();
    };
    in->open();
    ASSERT_TRUE(RunUntilTerminated(30s));
    ASSERT_TRUE(in->IsCapturing());

    in.reset();
    RunFor(300ms);
    ASSERT_EQ(takes.size(), 1u);
    EXPECT_EQ(take().closes, 0);
    EXPECT_EQ(take().deliveries, 3);
    ExpectFileHolds(wav.Path(), take().bytes, 1, 8000, 8);
}

TEST_F(CaptureOnSystem, CapabilitiesAreThoseOfTheSelectedDevice) {
    WAVEINCAPSA caps{};
    ASSERT_EQ(waveInGetDevCapsA(WAVE_MAPPER, &caps, sizeof caps), MMSYSERR_NOERROR);
    EXPECT_EQ(in->GetCaps().Contains(icStereo), caps.wChannels == 2);
    ASSERT_EQ(waveInGetDevCapsA(0, &caps, sizeof caps), MMSYSERR_NOERROR);
    in->SetWantedDev(wvDevice0);
    EXPECT_EQ(in->GetCaps().Contains(icStereo), caps.wChannels == 2);
    if (waveInGetNumDevs() <= 9) {
        in->SetWantedDev(wvDevice9);
        EXPECT_TRUE(in->GetCaps().Empty());
    }
}

// What the system's open call says of a format, asked without opening anything.
MMRESULT QueryFormat(std::int32_t channels, std::int32_t samples, std::int32_t bits) {
    const WAVEFORMATEX format = MakePcmFormat(channels, samples, bits);
    return waveInOpen(nullptr, WAVE_MAPPER, &format, 0, 0, WAVE_FORMAT_QUERY);
}

TEST_F(CaptureOnSystem, AFormatOrDeviceTheSystemRefusesLeavesTheComponentClosed) {
    const MMRESULT noRate = QueryFormat(1, 0, 8);
    EXPECT_NE(noRate, MMSYSERR_NOERROR);
    if (noRate != WAVERR_BADFORMAT) {
        ReportSystemBehaviour("a rate of 0 is refused with " + std::to_string(noRate) +
                              ", not the documented WAVERR_BADFORMAT (32)");
    }
    in->SetSamples(0);
    in->open();
    EXPECT_FALSE(in->IsOpen());
    EXPECT_FALSE(in->IsCapturing());

    in->SetSamples(8000);
    if (waveInGetNumDevs() <= 9) {
        in->SetWantedDev(wvDevice9);
        in->open();
        EXPECT_FALSE(in->IsOpen());
        EXPECT_FALSE(in->IsCapturing());
    }
    RunFor(200ms);
    EXPECT_TRUE(events.empty());
}

// 12-bit PCM in a 1-byte frame is no format the documentation allows; a
// system that takes it all the same must find the component working.
TEST_F(CaptureOnSystem, AFormatOnlyALenientSystemTakesStillRecordsAndCloses) {
    in->SetBits(12);
    in->SetInBuffSize(800);
    if (QueryFormat(1, 8000, 12) == WAVERR_BADFORMAT) {
        in->open();
        EXPECT_FALSE(in->IsOpen());
        return;
    }
    ReportSystemBehaviour(
        "12-bit PCM in a 1-byte frame is accepted, not refused with WAVERR_BADFORMAT");
    onData = [&](std::int32_t) {
        if (take().deliveries == 2) in->close();
    };
    onClose = [] { Application->Terminate(); };
    in->open();
    ASSERT_TRUE(in->IsCapturing());
    ASSERT_TRUE(RunUntilTerminated(30s));
    ASSERT_EQ(takes.size(), 1u);
    EXPECT_EQ(take().deliveries, 2);
    EXPECT_EQ(events.back(), "close");
}

// OnData never gets more than BufferSize bytes: the system's drivers fill
// whole frames of the buffer they are given, so the component gives them the
// whole frames of BufferSize (one frame when BufferSize is less).
TEST_F(CaptureOnSystem, OnDataNeverGetsMoreThanBufferSizeInAnyWidthOrChannelCount) {
    int formatsTried = 0;
    for (const std::int32_t bits : {8, 16, 24, 32}) {
        for (std::int32_t channels = 1; channels <= 8; ++channels) {
            if (QueryFormat(channels, 8000, bits) != MMSYSERR_NOERROR) continue;
            const std::int32_t frame = channels * bits / 8;
            for (const std::int32_t size : {5 * frame + 1, 7 * frame - 1, 16}) {
                SCOPED_TRACE(testing::Message() << bits << " bits, " << channels
                                                << " channels, BufferSize " << size);
                const std::int32_t expected = std::max(size / frame, 1) * frame;
                takes.clear();
                events.clear();
                in->SetChannels(channels);
                in->SetBits(bits);
                in->SetSamples(8000);
                in->SetInBuffSize(size);
                onData = [&](std::int32_t got) {
                    EXPECT_LE(got, expected);
                    EXPECT_EQ(got % frame, 0) << "a delivery of part of a frame";
                    if (take().deliveries == 3) in->close();
                };
                onClose = [] { Application->Terminate(); };
                in->open();
                ASSERT_TRUE(in->IsCapturing());
                ASSERT_TRUE(RunUntilTerminated(30s));
                ASSERT_EQ(takes.size(), 1u);
                EXPECT_GE(take().deliveries, 3);
            }
            ++formatsTried;
        }
    }
    RecordProperty("formats_tried", std::to_string(formatsTried));
    if (formatsTried < 32) {
        ReportSystemBehaviour(std::to_string(32 - formatsTried) +
                              " of the 32 PCM formats at 8000 Hz (8 to 32 bits, 1 to 8 "
                              "channels) are refused");
    }
    EXPECT_GT(formatsTried, 0);
}

}  // namespace
