// The three clocks of the virtual devices, and the signals they record.
#include <gtest/gtest.h>

#include <cmath>
#include <thread>

#include "WaveTestSupport.h"
#include "platform/sim/Sim.h"

namespace sorvan::wavetest {
namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;

// One input device on the chosen clock, a buffer queued and recording started.
class SimRecording : public ::testing::Test {
  protected:
    void record(sim::Clock clock, sim::Signal signal, WAVEFORMATEX wanted, std::size_t size) {
        sim::setUp({.inputs = {{.name = "In", .minRate = 1000, .signal = std::move(signal)}},
                    .clock = clock});
        format = wanted;
        ASSERT_EQ(waveInOpen(&in, 0, &format, window.callback(), 0, CALLBACK_WINDOW),
                  MMSYSERR_NOERROR);
        addBuffer(size);
        ASSERT_EQ(waveInStart(in), MMSYSERR_NOERROR);
    }

    Buffer& addBuffer(std::size_t size) {
        Buffer& buffer = buffers.make(size, 'x');
        EXPECT_EQ(waveInPrepareHeader(in, buffer.hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
        EXPECT_EQ(waveInAddBuffer(in, buffer.hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
        return buffer;
    }

    // The bytes recorded so far into the first buffer, returned by a stop.
    std::vector<unsigned char> stopAndRead() {
        EXPECT_EQ(waveInStop(in), MMSYSERR_NOERROR);
        std::vector<unsigned char> bytes;
        for (const auto& seen : window.take()) {
            if (seen.msg != MM_WIM_DATA) continue;
            const auto* header = reinterpret_cast<const WAVEHDR*>(seen.param);
            bytes.insert(bytes.end(), header->lpData, header->lpData + seen.bytesRecorded);
        }
        return bytes;
    }

    void TearDown() override {
        waveInReset(in);
        waveInClose(in);
        pumpMessages();
        sim::tearDown();
    }

    NotificationWindow window;
    Buffers buffers;
    WAVEFORMATEX format{};
    HWAVEIN in = nullptr;
};

TEST_F(SimRecording, ManualClockMovesExactlyTheFramesOfTheTimeAdvanced) {
    record(sim::Clock::manual, sim::Signal::ramp(), pcmFormat(1, 8000, 8), 4096);
    EXPECT_TRUE(stopAndRead().empty());  // nothing moved by itself

    ASSERT_EQ(waveInStart(in), MMSYSERR_NOERROR);
    addBuffer(4096);
    // 8 frames per millisecond; a tenth of a millisecond is 0.8 frames, carried over.
    sim::advance(milliseconds(2));
    for (int i = 0; i < 10; ++i) sim::advance(microseconds(100));
    EXPECT_EQ(stopAndRead().size(), 16u + 8u);
}

TEST_F(SimRecording, RealTimeClockFillsBuffersAtTheFormatsRate) {
    const auto started = std::chrono::steady_clock::now();
    record(sim::Clock::realTime, sim::Signal::silence(), pcmFormat(1, 8000, 8), 80);
    std::vector<Notification> seen;
    while (seen.size() < 2 && std::chrono::steady_clock::now() - started < milliseconds(2000)) {
        for (auto& notification : window.take()) seen.push_back(notification);
        std::this_thread::sleep_for(milliseconds(1));
    }
    const auto elapsed = std::chrono::steady_clock::now() - started;
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].msg, MM_WIM_DATA);
    EXPECT_EQ(seen[1].bytesRecorded, 80u);
    EXPECT_GE(elapsed, milliseconds(10));  // 80 frames at 8 kHz take 10 ms
}

TEST_F(SimRecording, FreeRunningClockFillsBuffersAsSoonAsTheyAreQueued) {
    record(sim::Clock::freeRunning, sim::Signal::ramp(), pcmFormat(2, 48000, 16), 1 << 16);
    const auto seen = window.take();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].bytesRecorded, 1u << 16);
    addBuffer(512);
    EXPECT_EQ(window.take().size(), 1u);
}

TEST_F(SimRecording, RampCountsBytesOverTheWholeStream) {
    record(sim::Clock::manual, sim::Signal::ramp(), pcmFormat(2, 8000, 16), 1 << 12);
    sim::advance(milliseconds(100));  // 800 frames, 3200 bytes
    const auto bytes = stopAndRead();
    ASSERT_EQ(bytes.size(), 3200u);
    for (std::size_t i = 0; i < bytes.size(); ++i) ASSERT_EQ(bytes[i], i % 256) << i;
}

TEST_F(SimRecording, GivenBytesPlayOnceThenSilenceOrRepeat) {
    const std::vector<std::byte> given = {std::byte{1}, std::byte{2}, std::byte{3}};
    record(sim::Clock::manual, sim::Signal::bytes(given), pcmFormat(1, 1000, 8), 64);
    sim::advance(milliseconds(5));
    EXPECT_EQ(stopAndRead(), (std::vector<unsigned char>{1, 2, 3, 0x80, 0x80}));

    sim::setSignal(0, sim::Signal::bytes(given, true));
    ASSERT_EQ(waveInStart(in), MMSYSERR_NOERROR);
    addBuffer(64);
    sim::advance(milliseconds(5));
    EXPECT_EQ(stopAndRead(), (std::vector<unsigned char>{1, 2, 3, 1, 2}));
}

TEST_F(SimRecording, SineStaysWithinItsAmplitudeAndCrossesZeroAtItsFrequency) {
    record(sim::Clock::manual, sim::Signal::sine(100.0, 0.5), pcmFormat(1, 8000, 16), 1 << 14);
    sim::advance(milliseconds(100));  // ten periods
    const auto bytes = stopAndRead();
    ASSERT_EQ(bytes.size(), 1600u);
    int crossings = 0;
    int previous = 0;
    int peak = 0;
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        const auto sample = static_cast<std::int16_t>(bytes[i] | bytes[i + 1] << 8);
        peak = std::max(peak, std::abs(sample));
        if (previous > 0 && sample <= 0) ++crossings;  // once a period, half way
        previous = sample;
    }
    EXPECT_NEAR(peak, 16383, 20);
    EXPECT_EQ(crossings, 10);
}

TEST_F(SimRecording, SilenceOfEightBitSamplesIsTheMidpoint) {
    record(sim::Clock::manual, sim::Signal::silence(), pcmFormat(2, 8000, 8), 256);
    sim::advance(milliseconds(1));
    EXPECT_EQ(stopAndRead(), std::vector<unsigned char>(16, 0x80));
}

TEST_F(SimRecording, FramesWithoutAQueuedBufferAreThrownAway) {
    record(sim::Clock::manual, sim::Signal::ramp(), pcmFormat(1, 1000, 8), 2);
    sim::advance(milliseconds(10));  // 2 bytes recorded, 8 thrown away
    addBuffer(2);
    sim::advance(milliseconds(2));
    const auto seen = window.take();
    ASSERT_EQ(seen.size(), 3u);
    const auto* second = reinterpret_cast<const WAVEHDR*>(seen[2].param);
    EXPECT_EQ(static_cast<unsigned char>(second->lpData[0]), 10);
}

}  // namespace
}  // namespace sorvan::wavetest
