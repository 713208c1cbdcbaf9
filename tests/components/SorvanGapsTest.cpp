// Both components tell an application the gaps in its sound, also after the
// close: here the virtual devices' frames that found no buffer, and the
// silence between blocks that came too late.
#include "CaptureFixture.h"
#include "PlaybackFixture.h"

namespace {

// 8000 frames a second, one byte each.
constexpr std::uint64_t framesIn(std::chrono::milliseconds time) {
    return static_cast<std::uint64_t>(time.count()) * 8;
}

TEST_F(CaptureTest, FramesThatFoundNoBufferAreALateGap) {
    in->SetInBuffSize(800);  // 100 ms
    in->open();
    Pump();
    Record(150ms);
    EXPECT_EQ(in->Gaps(), TSVGaps{});
    // The buffers take the first 150 ms of the next 650, and are handed
    // back only then: 500 ms have nowhere to go.
    sim::advance(500ms);
    Record(150ms);
    Record(100ms);
    in->close();

    const TSVGaps gaps = in->Gaps();
    EXPECT_EQ(gaps.lateGaps, 1u);
    EXPECT_EQ(gaps.lateFrames, framesIn(500ms));
    EXPECT_EQ(gaps.deviceGaps, 0u);
    in->open();
    EXPECT_EQ(in->Gaps(), TSVGaps{}) << "a new stream starts clean";
}

TEST_F(PlaybackTest, SilenceBetweenBlocksIsALateGapButNotTheSilenceAfterTheLast) {
    Open();
    Queue(Bytes(800));  // 100 ms at 8000 frames of a byte
    Play(300ms);
    EXPECT_EQ(out->Gaps(), TSVGaps{});
    Queue(Bytes(800));
    Play(300ms);
    out->close();

    const TSVGaps gaps = out->Gaps();
    EXPECT_EQ(gaps.lateGaps, 1u);
    EXPECT_EQ(gaps.lateFrames, framesIn(200ms));
    EXPECT_EQ(gaps.deviceGaps, 0u);
}

}  // namespace
