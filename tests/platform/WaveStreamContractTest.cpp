// Recording and playback: how buffers and blocks come back.
#include "WaveContract.h"

namespace sorvan::wavetest {
namespace {

using std::chrono::milliseconds;

constexpr DWORD returnedFlags = WHDR_PREPARED | WHDR_DONE;

void expectReturned(const Notification& seen, UINT msg, UINT_PTR handle, Buffer& buffer) {
    EXPECT_EQ(seen.msg, msg);
    EXPECT_EQ(seen.handle, handle);
    EXPECT_EQ(seen.param, buffer.param());
    EXPECT_EQ(seen.flags, returnedFlags);
}

TEST_P(WaveContract, BuffersWaitForStartThenComeBackFullOfWholeFrames) {
    HWAVEIN in = openIn();
    const std::size_t frame = format().nBlockAlign;
    Buffer& first = preparedIn(in, 10 * frame + frame - 1);
    Buffer& second = preparedIn(in, 10 * frame + frame - 1);
    ASSERT_EQ(waveInAddBuffer(in, first.hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    ASSERT_EQ(waveInAddBuffer(in, second.hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    passTime(milliseconds(20));
    EXPECT_EQ(window.take().size(), 1u);  // the open notification only
    EXPECT_EQ(first.header.dwFlags, WHDR_PREPARED | WHDR_INQUEUE);

    ASSERT_EQ(waveInStart(in), MMSYSERR_NOERROR);
    const auto seen = collect(2);
    ASSERT_EQ(seen.size(), 2u);
    expectReturned(seen[0], MM_WIM_DATA, handleValue(in), first);
    expectReturned(seen[1], MM_WIM_DATA, handleValue(in), second);
    EXPECT_EQ(seen[0].bytesRecorded, 10 * frame);
    EXPECT_EQ(seen[1].bytesRecorded, 10 * frame);
}

TEST_P(WaveContract, StartAndStopAreHarmlessWhenRepeatedOrWithNothingQueued) {
    HWAVEIN in = openIn();
    EXPECT_EQ(waveInStart(in), MMSYSERR_NOERROR);
    EXPECT_EQ(waveInStart(in), MMSYSERR_NOERROR);
    passTime(milliseconds(10));
    Buffer& late = preparedIn(in, 64 * format().nBlockAlign);
    ASSERT_EQ(waveInAddBuffer(in, late.hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    const auto seen = collect(2);
    ASSERT_EQ(seen.size(), 2u);
    expectReturned(seen[1], MM_WIM_DATA, handleValue(in), late);
    EXPECT_EQ(waveInStop(in), MMSYSERR_NOERROR);
    EXPECT_EQ(waveInStop(in), MMSYSERR_NOERROR);
    EXPECT_TRUE(window.take().empty());
}

TEST_P(WaveContract, StopReturnsOnlyAHeadThatHoldsBytes) {
    HWAVEIN in = openIn();
    Buffer& head = preparedIn(in, 1 << 20);
    Buffer& next = preparedIn(in, 1 << 20);
    ASSERT_EQ(waveInAddBuffer(in, head.hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    ASSERT_EQ(waveInAddBuffer(in, next.hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    ASSERT_EQ(waveInStart(in), MMSYSERR_NOERROR);
    passTime(milliseconds(30));
    ASSERT_EQ(waveInStop(in), MMSYSERR_NOERROR);
    auto seen = window.take();
    ASSERT_EQ(seen.size(), 2u);
    expectReturned(seen[1], MM_WIM_DATA, handleValue(in), head);
    EXPECT_GT(seen[1].bytesRecorded, 0u);
    EXPECT_EQ(seen[1].bytesRecorded % format().nBlockAlign, 0u);
    EXPECT_EQ(next.header.dwFlags, WHDR_PREPARED | WHDR_INQUEUE);

    // The new head is empty: stopping keeps it queued.
    ASSERT_EQ(waveInStart(in), MMSYSERR_NOERROR);
    ASSERT_EQ(waveInStop(in), MMSYSERR_NOERROR);
    passTime(milliseconds(10));
    seen = window.take();
    for (const auto& notification : seen) EXPECT_GT(notification.bytesRecorded, 0u);
    if (seen.empty()) {
        EXPECT_EQ(next.header.dwFlags, WHDR_PREPARED | WHDR_INQUEUE);
    }
}

TEST_P(WaveContract, ResetReturnsEveryBufferInQueueOrderBeforeItReturns) {
    HWAVEIN in = openIn();
    std::vector<Buffer*> queued;
    for (int i = 0; i < 3; ++i) {
        queued.push_back(&preparedIn(in, 1 << 20));
        ASSERT_EQ(waveInAddBuffer(in, queued.back()->hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    }
    ASSERT_EQ(waveInStart(in), MMSYSERR_NOERROR);
    passTime(milliseconds(30));
    ASSERT_EQ(waveInReset(in), MMSYSERR_NOERROR);
    const auto seen = window.take();
    ASSERT_EQ(seen.size(), 4u);
    for (int i = 0; i < 3; ++i) {
        expectReturned(seen[i + 1], MM_WIM_DATA, handleValue(in), *queued[i]);
    }
    EXPECT_GT(seen[1].bytesRecorded, 0u);
    EXPECT_EQ(seen[2].bytesRecorded, 0u);
    EXPECT_EQ(seen[3].bytesRecorded, 0u);

    passTime(milliseconds(20));
    ASSERT_EQ(waveInClose(in), MMSYSERR_NOERROR);
    passTime(milliseconds(20));
    const auto after = window.take();
    ASSERT_EQ(after.size(), 1u);
    EXPECT_EQ(after[0].msg, MM_WIM_CLOSE);
}

TEST_P(WaveContract, BlocksAreDoneInWriteOrder) {
    HWAVEOUT out = openOut();
    std::vector<Buffer*> written;
    for (char fill : {'a', 'b', 'c'}) {
        written.push_back(&preparedOut(out, 100 * format().nBlockAlign, fill));
        ASSERT_EQ(waveOutWrite(out, written.back()->hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
        EXPECT_EQ(written.back()->header.dwFlags & (WHDR_INQUEUE | WHDR_DONE), WHDR_INQUEUE);
    }
    const auto seen = collect(4);
    ASSERT_EQ(seen.size(), 4u);
    for (int i = 0; i < 3; ++i) {
        expectReturned(seen[i + 1], MM_WOM_DONE, handleValue(out), *written[i]);
    }
}

TEST_P(WaveContract, AZeroLengthBlockIsDoneAtOnceButNotifiedLater) {
    HWAVEOUT out = openOut();
    Buffer& empty = buffers.make(4);
    empty.header.dwBufferLength = 0;
    ASSERT_EQ(waveOutPrepareHeader(out, empty.hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    window.take();
    ASSERT_EQ(waveOutWrite(out, empty.hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    EXPECT_EQ(empty.header.dwFlags, returnedFlags);
    const auto seen = collect(1);
    ASSERT_EQ(seen.size(), 1u);
    expectReturned(seen[0], MM_WOM_DONE, handleValue(out), empty);
}

TEST_P(WaveContract, ResetReturnsPendingBlocksAndTheNextWritePlaysAgain) {
    HWAVEOUT out = openOut();
    Buffer& first = preparedOut(out, 1 << 20);
    Buffer& second = preparedOut(out, 1 << 20);
    ASSERT_EQ(waveOutWrite(out, first.hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutWrite(out, second.hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    passTime(milliseconds(5));
    ASSERT_EQ(waveOutReset(out), MMSYSERR_NOERROR);
    auto seen = window.take();
    ASSERT_EQ(seen.size(), 3u);
    expectReturned(seen[1], MM_WOM_DONE, handleValue(out), first);
    expectReturned(seen[2], MM_WOM_DONE, handleValue(out), second);

    passTime(milliseconds(20));
    EXPECT_TRUE(window.take().empty());

    Buffer& again = preparedOut(out, 10 * format().nBlockAlign);
    ASSERT_EQ(waveOutWrite(out, again.hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    seen = collect(1);
    ASSERT_EQ(seen.size(), 1u);
    expectReturned(seen[0], MM_WOM_DONE, handleValue(out), again);

    ASSERT_EQ(waveOutClose(out), MMSYSERR_NOERROR);
    passTime(milliseconds(20));
    seen = window.take();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].msg, MM_WOM_CLOSE);
}

}  // namespace
}  // namespace sorvan::wavetest
