// TSorvanOut where a device still holds blocks: unprepare refused with any
// code, refused resets on close and destruction, notifications from a device
// that no longer holds the block, and handlers that reassign their own event
// or destroy the component.
#include <string>

#include "PlaybackFixture.h"

namespace {

using Strings = std::vector<std::string>;

UINT_PTR HandleOf(HWAVEOUT device) {
    return reinterpret_cast<UINT_PTR>(device);
}

}  // namespace

TEST_F(PlaybackTest, BlockThatWouldNotUnprepareIsNeverFreedWhateverTheCode) {
    Open();
    const std::vector<Bytes> blocks = {Block(100, 0), Block(100, 100), Block(100, 200)};
    for (const Bytes& b : blocks) Queue(b);
    sim::failNext(Fn::waveOutReset, MMSYSERR_ERROR);
    sim::failNext(Fn::waveOutUnprepareHeader, MMSYSERR_NODRIVER, 3);
    out->close();
    EXPECT_EQ(Results(Fn::waveOutClose), std::vector<MMRESULT>{WAVERR_STILLPLAYING});
    EXPECT_TRUE(out->IsOpen());

    Play(1s);  // the device plays them from memory that is still there
    EXPECT_EQ(sim::played(0), Joined(blocks));
    EXPECT_EQ(events, Strings({"done+", "done+", "done-"}));
    out->close();
    EXPECT_FALSE(out->IsOpen());
}

TEST_F(PlaybackTest, CloseAfterARefusedResetResetsAgain) {
    Open();
    Queue(Block(800, 0));
    sim::failNext(Fn::waveOutReset, MMSYSERR_ERROR);
    out->reset();
    EXPECT_FALSE(out->IsPlaying());

    out->close();
    EXPECT_EQ(Results(Fn::waveOutReset), (std::vector<MMRESULT>{MMSYSERR_ERROR, MMSYSERR_NOERROR}));
    EXPECT_FALSE(out->IsOpen());
    Pump();
    EXPECT_EQ(events, Strings({"done-", "close"}));

    // Destruction, too, first asks a device that refused to let go.
    Open();
    Queue(Block(800, 0));
    const HWAVEOUT device = out->DeviceID();
    sim::failNext(Fn::waveOutReset, MMSYSERR_ERROR);
    out->reset();
    sim::failNext(Fn::waveOutReset, MMSYSERR_ERROR, 2);
    out.reset();
    EXPECT_EQ(waveOutClose(device), MMSYSERR_INVALHANDLE) << "the device was left open";
}

TEST_F(PlaybackTest, BlockReturnedButNotUnpreparedIsFreedByItsLateDone) {
    Open();
    Queue(Block(100, 0));
    sim::failNext(Fn::waveOutUnprepareHeader, MMSYSERR_ERROR);
    out->close();
    EXPECT_FALSE(out->IsOpen());
    EXPECT_TRUE(out->IsPlaying()) << "the block is kept until the device's notification";

    Pump();
    EXPECT_EQ(events, Strings({"done-", "close"}));
    EXPECT_FALSE(out->IsPlaying());
}

TEST_F(PlaybackTest, DestructionRetriesARefusedResetBeforeFreeing) {
    Open();
    for (int i = 0; i < 3; ++i) Queue(Block(100, i));
    const HWAVEOUT device = out->DeviceID();
    sim::failNext(Fn::waveOutReset, MMSYSERR_ERROR);
    sim::clearLog();
    out.reset();
    EXPECT_EQ(Results(Fn::waveOutReset), (std::vector<MMRESULT>{MMSYSERR_ERROR, MMSYSERR_NOERROR}));
    EXPECT_EQ(Results(Fn::waveOutClose).back(), MMSYSERR_NOERROR);
    EXPECT_EQ(waveOutClose(device), MMSYSERR_INVALHANDLE) << "the device was left open";
    Play(1s);
    EXPECT_TRUE(sim::played(0).empty());
    EXPECT_TRUE(events.empty());
}

TEST_F(PlaybackTest, DeviceThatNeverLetsGoKeepsItsBlocksAfterDestruction) {
    Open();
    const Bytes block = Block(800, 5);
    Queue(block);
    const HWAVEOUT device = out->DeviceID();
    sim::failNext(Fn::waveOutReset, MMSYSERR_ERROR, 10);
    out.reset();
    EXPECT_EQ(Results(Fn::waveOutClose), std::vector<MMRESULT>(3, WAVERR_STILLPLAYING));

    sim::advance(10ms);  // still reading the block the component had to leave to it
    EXPECT_EQ(sim::played(0), Bytes(block.begin(), block.begin() + 80));
    EXPECT_EQ(waveOutClose(device), WAVERR_STILLPLAYING);

    // The device lets go at last; its notifications reach nobody.
    sim::setUp(Devices());
    EXPECT_EQ(waveOutReset(device), MMSYSERR_NOERROR);
    EXPECT_EQ(waveOutClose(device), MMSYSERR_NOERROR);
    Pump();
    EXPECT_TRUE(events.empty());
}

TEST_F(PlaybackTest, DoneFromADeviceThatDoesNotHoldTheBlockLeavesIt) {
    Open();
    const Bytes block = Block(100, 9);
    Queue(block);
    auto* header = const_cast<WAVEHDR*>(Headers(Fn::waveOutWrite).at(0));
    TMessage stale{MM_WOM_DONE, HandleOf(out->DeviceID()) + 1, reinterpret_cast<LPARAM>(header), 0};
    out->WndProc(stale);
    EXPECT_TRUE(sim::calls(Fn::waveOutUnprepareHeader).empty());
    EXPECT_TRUE(out->IsPlaying());

    Play(1s);
    EXPECT_EQ(sim::played(0), block);
    EXPECT_EQ(events, Strings({"done+", "done-"}));
}

// A block kept past its device's close is freed by the close of the next
// device; the first device's late notification must then leave alone a
// newer block given the same address.
TEST_F(PlaybackTest, LateDoneIsMatchedToTheDeviceTheBlockWentTo) {
    Open();
    Queue(Block(100, 0));
    sim::failNext(Fn::waveOutUnprepareHeader, MMSYSERR_ERROR);
    out->close();
    ASSERT_TRUE(out->open());
    out->close();
    ASSERT_TRUE(out->open());
    const Bytes newer = Block(100, 1);
    Queue(newer);
    const auto written = Headers(Fn::waveOutWrite);
    if (written[0] != written[1]) GTEST_SKIP() << "the newer block got another address";

    sim::advance(1s);
    Pump();
    EXPECT_EQ(events, Strings({"done+", "close", "open", "close", "open", "done-"}));
    EXPECT_EQ(sim::played(0), newer);
}

TEST_F(PlaybackTest, HandlersMayReassignTheirOwnEvents) {
    Open();
    Strings seen;
    out->OnDone = [this, &seen, name = std::string(64, 'a')](TObject*) {
        out->OnDone = [&seen, other = std::string(64, 'b')](TObject*) { seen.push_back(other); };
        seen.push_back(name);
    };
    Queue(Block(10, 0));
    Queue(Block(10, 0));
    Play(1s);
    EXPECT_EQ(seen, Strings({std::string(64, 'a'), std::string(64, 'b')}));
}

TEST_F(PlaybackTest, HandlerMayDestroyTheComponent) {
    Open();
    out->OnDone = [this](TObject*) { out.reset(); };
    for (int i = 0; i < 3; ++i) Queue(Block(10, i));
    const HWAVEOUT device = out->DeviceID();
    Play(1s);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(waveOutClose(device), MMSYSERR_INVALHANDLE) << "the device was left open";
}
