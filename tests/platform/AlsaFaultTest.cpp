// Devices that overrun or disappear, on the test PCM's scripted faults.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "AlsaTestSetup.h"
#include "platform/WaveGaps.h"
#include "platform/alsa/AlsaDriver.h"

namespace sorvan::alsatest {
namespace {

using wavetest::Buffer;
using wavetest::Notification;
using wavetest::pcmFormat;

const WAVEFORMATEX format = pcmFormat(2, 44100, 16);

std::size_t bytesFor(DWORD frames) {
    return std::size_t{frames} * format.nBlockAlign;
}

class AlsaFaults : public ::testing::Test {
  protected:
    void SetUp() override { useTestDevices(); }

    std::vector<std::unique_ptr<Buffer>> make(int count, std::size_t size) {
        std::vector<std::unique_ptr<Buffer>> made;
        for (int i = 0; i < count; ++i) made.push_back(std::make_unique<Buffer>(size));
        return made;
    }

    void expectReturnedInOrder(const std::vector<Notification>& seen, UINT msg,
                               const std::vector<std::unique_ptr<Buffer>>& buffers) {
        ASSERT_EQ(seen.size(), buffers.size() + 1);
        for (std::size_t i = 0; i < buffers.size(); ++i) {
            EXPECT_EQ(seen[i + 1].msg, msg);
            EXPECT_EQ(seen[i + 1].param, buffers[i]->param()) << i;
            EXPECT_EQ(seen[i + 1].flags, DWORD{WHDR_PREPARED | WHDR_DONE}) << i;
        }
    }

    wavetest::NotificationWindow window;
};

TEST_F(AlsaFaults, AnOverrunIsCountedOnceAndRecordingGoesOn) {
    HWAVEIN in = nullptr;
    ASSERT_EQ(waveInOpen(&in, inputDevice("flaky"), &format, window.callback(), 0, CALLBACK_WINDOW),
              MMSYSERR_NOERROR);
    auto buffers = make(4, bytesFor(faultFrame / 2));
    for (auto& buffer : buffers) {
        ASSERT_EQ(waveInPrepareHeader(in, buffer->hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
        ASSERT_EQ(waveInAddBuffer(in, buffer->hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    }
    const auto before = alsa::xrunCount();
    ASSERT_EQ(waveInStart(in), MMSYSERR_NOERROR);
    // Three times as many frames as came before the fault, buffers handed back as they come.
    std::size_t recorded = 0;
    for (int round = 0; round < 100 && recorded < bytesFor(3 * faultFrame); ++round) {
        for (const Notification& n : collect(window, 1)) {
            if (n.msg != MM_WIM_DATA) continue;
            recorded += n.bytesRecorded;
            ASSERT_EQ(waveInAddBuffer(in, reinterpret_cast<LPWAVEHDR>(n.param), sizeof(WAVEHDR)),
                      MMSYSERR_NOERROR);
        }
    }
    EXPECT_GE(recorded, bytesFor(3 * faultFrame));
    EXPECT_EQ(alsa::xrunCount() - before, 1u);
    WaveGaps gaps;
    ASSERT_EQ(waveInGetGaps(in, &gaps), MMSYSERR_NOERROR);
    EXPECT_EQ(gaps.deviceGaps, 1u);
    EXPECT_EQ(gaps.lateGaps, 0u);
    EXPECT_EQ(waveInReset(in), MMSYSERR_NOERROR);
    EXPECT_EQ(waveInClose(in), MMSYSERR_NOERROR);
}

TEST_F(AlsaFaults, AnUnderrunIsCountedOnceAndEveryBlockStillPlays) {
    HWAVEOUT out = nullptr;
    ASSERT_EQ(
        waveOutOpen(&out, outputDevice("flaky"), &format, window.callback(), 0, CALLBACK_WINDOW),
        MMSYSERR_NOERROR);
    auto blocks = make(6, bytesFor(faultFrame / 2));
    const auto before = alsa::xrunCount();
    for (auto& block : blocks) {
        ASSERT_EQ(waveOutPrepareHeader(out, block->hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
        ASSERT_EQ(waveOutWrite(out, block->hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    }
    expectReturnedInOrder(collect(window, blocks.size() + 1), MM_WOM_DONE, blocks);
    EXPECT_EQ(alsa::xrunCount() - before, 1u);
    WaveGaps gaps;
    ASSERT_EQ(waveOutGetGaps(out, &gaps), MMSYSERR_NOERROR);
    EXPECT_EQ(gaps.deviceGaps, 1u);
    EXPECT_EQ(gaps.lateGaps, 0u);
    EXPECT_EQ(waveOutClose(out), MMSYSERR_NOERROR);
}

TEST_F(AlsaFaults, AnUnpluggedInputReturnsEveryBufferThenRefusesToMoveFramesButCleansUp) {
    HWAVEIN in = nullptr;
    ASSERT_EQ(
        waveInOpen(&in, inputDevice("unplugged"), &format, window.callback(), 0, CALLBACK_WINDOW),
        MMSYSERR_NOERROR);
    auto buffers = make(3, bytesFor(faultFrame * 5));
    for (auto& buffer : buffers) {
        ASSERT_EQ(waveInPrepareHeader(in, buffer->hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
        ASSERT_EQ(waveInAddBuffer(in, buffer->hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    }
    ASSERT_EQ(waveInStart(in), MMSYSERR_NOERROR);
    const auto seen = collect(window, buffers.size() + 1);
    expectReturnedInOrder(seen, MM_WIM_DATA, buffers);
    // The head holds what came before the fault, whole frames; the rest nothing.
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_GT(seen[1].bytesRecorded, 0u);
    EXPECT_EQ(seen[1].bytesRecorded % format.nBlockAlign, 0u);
    EXPECT_EQ(seen[2].bytesRecorded, 0u);
    EXPECT_EQ(seen[3].bytesRecorded, 0u);

    EXPECT_EQ(waveInAddBuffer(in, buffers[0]->hdr(), sizeof(WAVEHDR)), MMSYSERR_NODRIVER);
    EXPECT_EQ(waveInStart(in), MMSYSERR_NODRIVER);
    // Nothing left to stop: the owner's usual clean-up succeeds.
    EXPECT_EQ(waveInStop(in), MMSYSERR_NOERROR);
    EXPECT_EQ(waveInReset(in), MMSYSERR_NOERROR);
    WAVEINCAPSA caps{};
    EXPECT_EQ(waveInGetDevCapsA(wavetest::handleValue(in), &caps, sizeof caps), MMSYSERR_NODRIVER);
    for (auto& buffer : buffers) {
        EXPECT_EQ(waveInUnprepareHeader(in, buffer->hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    }
    ASSERT_EQ(waveInClose(in), MMSYSERR_NOERROR);
    const auto closed = collect(window, 1);
    ASSERT_EQ(closed.size(), 1u);
    EXPECT_EQ(closed[0].msg, MM_WIM_CLOSE);
    EXPECT_EQ(waveInStart(in), MMSYSERR_INVALHANDLE);
}

TEST_F(AlsaFaults, AnUnpluggedOutputReturnsEveryBlockThenRefusesToMoveFramesButCleansUp) {
    HWAVEOUT out = nullptr;
    ASSERT_EQ(waveOutOpen(&out, outputDevice("unplugged"), &format, window.callback(), 0,
                          CALLBACK_WINDOW),
              MMSYSERR_NOERROR);
    auto blocks = make(3, bytesFor(faultFrame * 5));
    for (auto& block : blocks) {
        ASSERT_EQ(waveOutPrepareHeader(out, block->hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
        ASSERT_EQ(waveOutWrite(out, block->hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    }
    expectReturnedInOrder(collect(window, blocks.size() + 1), MM_WOM_DONE, blocks);

    EXPECT_EQ(waveOutWrite(out, blocks[0]->hdr(), sizeof(WAVEHDR)), MMSYSERR_NODRIVER);
    EXPECT_EQ(waveOutSetVolume(out, 0), MMSYSERR_NODRIVER);
    EXPECT_EQ(waveOutPause(out), MMSYSERR_NODRIVER);
    EXPECT_EQ(waveOutReset(out), MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutClose(out), MMSYSERR_NOERROR);
    const auto closed = collect(window, 1);
    ASSERT_EQ(closed.size(), 1u);
    EXPECT_EQ(closed[0].msg, MM_WOM_CLOSE);
}

}  // namespace
}  // namespace sorvan::alsatest
