#include "components/SorvanOut.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "PlaybackFixture.h"
#include "framework/TypInfo.h"

namespace {

using Strings = std::vector<std::string>;

// --- The block cycle ---

TEST_F(PlaybackTest, OneBlockIsPlayedThenFreedBeforeOnDone) {
    Open();
    const Bytes block = Block(100, 7);
    Queue(block);
    EXPECT_TRUE(out->IsPlaying());

    Play(1s);
    EXPECT_EQ(events, Strings({"done-"}));
    EXPECT_EQ(sim::played(0), block);
    // The header written is the one unprepared, each call given the full size.
    ASSERT_EQ(Headers(Fn::waveOutUnprepareHeader), Headers(Fn::waveOutWrite));
    for (Fn fn : {Fn::waveOutPrepareHeader, Fn::waveOutWrite, Fn::waveOutUnprepareHeader}) {
        EXPECT_EQ(sim::calls(fn).at(0).call.size, sizeof(WAVEHDR));
        EXPECT_EQ(sim::calls(fn).at(0).result, MMSYSERR_NOERROR);
    }
}

TEST_F(PlaybackTest, BlocksArePlayedAndReportedInTheOrderHandedOver) {
    Open();
    const std::vector<Bytes> blocks = {Block(100, 0), Block(37, 100), Block(250, 200)};
    for (const Bytes& b : blocks) Queue(b);

    Play(1s);
    EXPECT_EQ(events, Strings({"done+", "done+", "done-"}));
    EXPECT_EQ(sim::played(0), Joined(blocks));
    EXPECT_EQ(Headers(Fn::waveOutUnprepareHeader), Headers(Fn::waveOutWrite));
}

TEST_F(PlaybackTest, TheCallerMayReuseItsBufferAtOnce) {
    Open();
    Bytes buffer = Block(64, 1);
    const Bytes first = buffer;
    Queue(buffer);
    std::fill(buffer.begin(), buffer.end(), std::byte{0xEE});
    Queue(buffer);

    Play(1s);
    EXPECT_EQ(sim::played(0), Joined({first, buffer}));
}

TEST_F(PlaybackTest, OnDoneMayHandOverTheNextBlock) {
    Open();
    const std::vector<Bytes> blocks = {Block(80, 0), Block(80, 80), Block(80, 160)};
    std::size_t next = 1;
    out->OnDone = [&](TObject*) {
        if (next < blocks.size()) Queue(blocks[next++]);
    };
    Queue(blocks[0]);
    for (int i = 0; i < 5; ++i) Play(20ms);
    EXPECT_EQ(sim::played(0), Joined(blocks));
    EXPECT_FALSE(out->IsPlaying());
}

TEST_F(PlaybackTest, ResetReturnsTheQueuedBlocksOneOnDoneEach) {
    Open();
    out->reset();  // nothing handed over: nothing to stop
    EXPECT_TRUE(sim::calls(Fn::waveOutReset).empty());

    for (int i = 0; i < 3; ++i) Queue(Block(100, i));
    out->reset();
    EXPECT_FALSE(out->IsPlaying());
    EXPECT_TRUE(out->IsOpen());
    out->reset();  // a second reset before any done calls nothing
    EXPECT_EQ(sim::calls(Fn::waveOutReset).size(), 1u);

    Pump();
    EXPECT_EQ(events, Strings({"done+", "done+", "done-"}));
    EXPECT_EQ(Headers(Fn::waveOutUnprepareHeader), Headers(Fn::waveOutWrite));
    EXPECT_TRUE(sim::played(0).empty());
}

TEST_F(PlaybackTest, CloseWhilePlayingFreesAtOnceAndLateDonesStillFireOnDone) {
    Open();
    for (int i = 0; i < 3; ++i) Queue(Block(100, i));
    sim::advance(5ms);  // the first block is under way
    sim::clearLog();

    out->close();
    EXPECT_FALSE(out->IsOpen());
    EXPECT_FALSE(out->IsPlaying());
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(Names(), Strings({"waveOutReset", "waveOutUnprepareHeader", "waveOutUnprepareHeader",
                                "waveOutUnprepareHeader", "waveOutClose"}));

    Pump();
    EXPECT_EQ(events, Strings({"done-", "done-", "done-", "close"}));
}

TEST_F(PlaybackTest, CloseTwiceAndCloseUnopenedCallNothing) {
    out->close();
    Open();
    out->close();
    sim::clearLog();
    out->close();
    EXPECT_TRUE(sim::log().empty());
    Pump();
    EXPECT_EQ(events, Strings({"close"}));
}

TEST_F(PlaybackTest, DestroyingAPlayingComponentFreesItsBlocksAndFiresNothing) {
    Open();
    for (int i = 0; i < 3; ++i) Queue(Block(100, i));
    out.reset();
    Pump();
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(Headers(Fn::waveOutUnprepareHeader), Headers(Fn::waveOutWrite));
    EXPECT_EQ(sim::calls(Fn::waveOutClose).at(0).result, MMSYSERR_NOERROR);
}

TEST_F(PlaybackTest, DoneForNoQueuedBlockRecomputesIsPlayingAndFiresOnDone) {
    Open();
    Queue(Block(10, 0));
    out->reset();  // Returning: nothing playing, one block still queued
    WAVEHDR stranger{};
    for (LPARAM header : {LPARAM{0}, reinterpret_cast<LPARAM>(&stranger)}) {
        TMessage done{MM_WOM_DONE, 0, header, 0};
        out->WndProc(done);
    }
    EXPECT_EQ(events, Strings({"done+", "done+"}));
    EXPECT_TRUE(sim::calls(Fn::waveOutUnprepareHeader).empty());
}

TEST_F(PlaybackTest, OtherMessagesGoToTheDefaultHandler) {
    for (UINT msg : {MM_WIM_DATA, WM_USER}) {
        TMessage message{msg, 0, 0, 12345};
        out->WndProc(message);
        EXPECT_EQ(message.Result, 0);
    }
    EXPECT_TRUE(events.empty());
}

// --- Out of order ---

TEST_F(PlaybackTest, BlockBeforeOpenStaysAtTheHeadUntilClose) {
    const Bytes early = Block(50, 99);
    Queue(early);
    EXPECT_TRUE(out->IsPlaying());
    EXPECT_NE(Results(Fn::waveOutPrepareHeader).at(0), MMSYSERR_NOERROR);
    EXPECT_NE(Results(Fn::waveOutWrite).at(0), MMSYSERR_NOERROR);

    Open();
    const std::vector<Bytes> later = {Block(40, 0), Block(40, 40)};
    for (const Bytes& b : later) Queue(b);
    Play(1s);
    EXPECT_EQ(events, Strings({"done+", "done+"}));
    EXPECT_EQ(sim::played(0), Joined(later));

    sim::clearLog();
    out->close();
    EXPECT_FALSE(out->IsPlaying());
    ASSERT_EQ(Headers(Fn::waveOutUnprepareHeader).size(), 1u);
}

TEST_F(PlaybackTest, CloseWithoutOpenDeviceLeavesTheBlockForTheDestructor) {
    const Bytes block = Block(50, 1);
    Queue(block);
    const WAVEHDR* header = Headers(Fn::waveOutWrite).at(0);
    out->close();
    EXPECT_FALSE(out->IsPlaying());
    EXPECT_TRUE(sim::calls(Fn::waveOutUnprepareHeader).empty());

    out.reset();
    EXPECT_EQ(Headers(Fn::waveOutUnprepareHeader), std::vector<const WAVEHDR*>({header}));
}

TEST_F(PlaybackTest, RefusedBlocksChangeNothing) {
    const Bytes block = Block(8, 0);
    EXPECT_FALSE(out->playback(nullptr, 5));
    EXPECT_FALSE(out->playback(block.data(), -1));
    EXPECT_FALSE(out->IsPlaying());
    EXPECT_TRUE(sim::log().empty());

    Open();
    Queue(block);
    sim::clearLog();
    EXPECT_FALSE(out->playback(nullptr, 1));
    EXPECT_FALSE(out->playback(block.data(), INT32_MIN));
    EXPECT_TRUE(out->IsPlaying());
    EXPECT_TRUE(sim::log().empty());

    Play(1s);
    EXPECT_EQ(sim::played(0), block);
}

TEST_F(PlaybackTest, AnEmptyBlockIsQueuedAndReported) {
    Open();
    EXPECT_TRUE(out->playback(nullptr, 0));
    Play(1ms);
    EXPECT_EQ(events, Strings({"done-"}));
}

// --- Device, handle and format ---

TEST_F(PlaybackTest, OpenCallShapeAndDeviceID) {
    EXPECT_EQ(out->DeviceID(), nullptr);
    EXPECT_TRUE(out->open());
    EXPECT_TRUE(events.empty());  // OnOpen waits for the message loop
    Pump();
    EXPECT_EQ(events, Strings({"open"}));

    const auto opened = sim::calls(Fn::waveOutOpen).at(0).call;
    EXPECT_EQ(opened.deviceId, UINT_PTR{WAVE_MAPPER});
    EXPECT_EQ(opened.flags, CALLBACK_WINDOW);
    EXPECT_EQ(opened.instance, 0u);
    EXPECT_NE(opened.callback, 0u);
    ASSERT_TRUE(opened.format.has_value());
    EXPECT_EQ(opened.format->nChannels, 1);
    EXPECT_EQ(opened.format->nSamplesPerSec, 8000u);
    EXPECT_EQ(opened.format->wBitsPerSample, 8);
    EXPECT_EQ(reinterpret_cast<UINT_PTR>(out->DeviceID()), opened.handle);

    out->close();
    Pump();
    EXPECT_EQ(reinterpret_cast<UINT_PTR>(out->DeviceID()), opened.handle);
}

TEST_F(PlaybackTest, FailedOpenLeavesTheComponentClosed) {
    sim::failNext(Fn::waveOutOpen, MMSYSERR_ALLOCATED);
    EXPECT_FALSE(out->open());
    EXPECT_FALSE(out->IsOpen());
    Pump();
    EXPECT_TRUE(events.empty());
}

TEST_F(PlaybackTest, FormatAndDeviceChangesTakeEffectAtTheNextOpen) {
    Open();
    sim::clearLog();
    out->SetChannels(2);
    out->SetSamples(22050);
    out->SetBits(16);
    out->SetWantedDev(wvDevice0);
    EXPECT_TRUE(sim::log().empty());

    out->close();
    Open();
    const auto reopened = sim::calls(Fn::waveOutOpen).at(0).call;
    EXPECT_EQ(reopened.deviceId, 0u);
    EXPECT_EQ(reopened.format->nChannels, 2);
    EXPECT_EQ(reopened.format->nSamplesPerSec, 22050u);
    EXPECT_EQ(reopened.format->wBitsPerSample, 16);
    EXPECT_EQ(reopened.format->nBlockAlign, 4);
}

TEST_F(PlaybackTest, OpenWhileOpenIsRefusedAndTheFirstDevicePlaysOn) {
    Open();
    const HWAVEOUT first = out->DeviceID();
    const Bytes block = Block(100, 3);
    Queue(block);
    sim::clearLog();
    EXPECT_TRUE(out->open());
    EXPECT_TRUE(sim::log().empty());
    EXPECT_EQ(out->DeviceID(), first);

    Play(1s);
    EXPECT_EQ(sim::played(0), block);
    EXPECT_EQ(events, Strings({"done-"}));
    out->close();
    EXPECT_FALSE(out->IsOpen());
    const auto closed = sim::calls(Fn::waveOutClose);
    ASSERT_EQ(closed.size(), 1u);
    EXPECT_EQ(closed[0].call.handle, reinterpret_cast<UINT_PTR>(first));
    EXPECT_EQ(closed[0].result, MMSYSERR_NOERROR);
}

// --- Sound behaviour where blocks could be lost or freed too early ---

// A done for a block that close freed arrives after a newer block was given
// the same address. The allocator hands the address straight back, but not
// under every allocator: then there is nothing to show.
TEST_F(PlaybackTest, LateDoneLeavesANewerBlockAtTheSameAddress) {
    Open();
    Queue(Block(100, 0));
    out->close();  // the reset's done is still waiting in the queue
    ASSERT_TRUE(out->open());
    const Bytes newer = Block(100, 1);
    Queue(newer);
    const auto written = Headers(Fn::waveOutWrite);
    if (written[0] != written[1]) GTEST_SKIP() << "the newer block got another address";

    sim::advance(1s);  // the newer block is played and its own done posted
    Pump();
    EXPECT_EQ(events, Strings({"done+", "close", "open", "done-"}));
    EXPECT_EQ(sim::played(0), newer);
}

TEST_F(PlaybackTest, LateDoneLeavesABlockQueuedAfterCloseAtTheSameAddress) {
    Open();
    Queue(Block(100, 0));
    out->close();
    Queue(Block(100, 1));  // on the closed device: queued, never played
    const auto written = Headers(Fn::waveOutWrite);
    if (written[0] != written[1]) GTEST_SKIP() << "the newer block got another address";

    Pump();
    EXPECT_EQ(events, Strings({"done+", "close"}));
    EXPECT_TRUE(out->IsPlaying());
}

TEST_F(PlaybackTest, BlocksTheDeviceStillHoldsAreNotFreedByClose) {
    Open();
    const std::vector<Bytes> blocks = {Block(100, 0), Block(100, 100), Block(100, 200)};
    for (const Bytes& b : blocks) Queue(b);
    sim::failNext(Fn::waveOutReset, MMSYSERR_ERROR);

    out->close();
    EXPECT_EQ(Results(Fn::waveOutUnprepareHeader), std::vector<MMRESULT>(3, WAVERR_STILLPLAYING));
    EXPECT_TRUE(out->IsOpen());  // the device would not close while holding them
    EXPECT_TRUE(out->IsPlaying());

    Play(1s);  // the device plays them from memory that is still there
    EXPECT_EQ(sim::played(0), Joined(blocks));
    EXPECT_EQ(events, Strings({"done+", "done+", "done-"}));

    out->close();
    EXPECT_FALSE(out->IsOpen());
}

// --- Capabilities and volume ---

class PlaybackCapsTest : public PlaybackTest {
  protected:
    // Device k (k = 0..5) supports only the k-th listed capability bit, on one
    // channel; 6: none on one channel; 7: every bit, and some unlisted, on
    // two; 8: the same on six channels. Device 9 does not exist.
    PlaybackCapsTest() : PlaybackTest(CapsDevices()) {}

    static sim::Setup CapsDevices() {
        sim::Setup setup;
        for (DWORD bit : kBits) setup.outputs.push_back({.channels = 1, .support = bit});
        setup.outputs.push_back({.channels = 1, .support = 0});
        setup.outputs.push_back({.channels = 2, .support = 0xFFFF});
        setup.outputs.push_back({.channels = 6, .support = 0xFFFF});
        return setup;
    }

    static constexpr DWORD kBits[] = {WAVECAPS_LRVOLUME, WAVECAPS_PITCH,  WAVECAPS_PLAYBACKRATE,
                                      WAVECAPS_SYNC,     WAVECAPS_VOLUME, WAVECAPS_SAMPLEACCURATE};
    static constexpr TSVOutCap kMembers[] = {ocLRVolume, ocPitch,  ocPlaybackRate,
                                             ocSync,     ocVolume, ocSampleAccurate};

    TSVOutCaps CapsOf(int index) {
        out->SetWantedDev(static_cast<TSVDev>(wvDevice0 + index));
        return out->capabilities();
    }
};

TEST_F(PlaybackCapsTest, EachSupportBitGivesItsMember) {
    for (int k = 0; k < 6; ++k) EXPECT_EQ(CapsOf(k), TSVOutCaps({kMembers[k]})) << k;
    EXPECT_EQ(CapsOf(6), TSVOutCaps());
}

TEST_F(PlaybackCapsTest, OnlyExactlyTwoChannelsAreStereo) {
    const TSVOutCaps all = {ocStereo, ocLRVolume, ocPitch,         ocPlaybackRate,
                            ocSync,   ocVolume,   ocSampleAccurate};
    EXPECT_EQ(CapsOf(7), all);
    EXPECT_EQ(CapsOf(8), all - TSVOutCaps{ocStereo});
}

TEST_F(PlaybackCapsTest, UnknownDeviceHasNoCapabilities) {
    EXPECT_EQ(CapsOf(9), TSVOutCaps());
    EXPECT_NE(sim::calls(Fn::waveOutGetDevCapsA).back().result, MMSYSERR_NOERROR);
}

TEST_F(PlaybackCapsTest, CapsQueryTheSelectedDeviceNotTheOpenOne) {
    out->SetWantedDev(wvDevice7);
    Open();
    out->SetWantedDev(wvDevice3);
    out->SetCaps(TSVOutCaps{ocStereo});  // ignored
    EXPECT_EQ(out->capabilities(), TSVOutCaps({ocSync}));
    const auto query = sim::calls(Fn::waveOutGetDevCapsA).back().call;
    EXPECT_EQ(query.deviceId, 3u);
    EXPECT_EQ(query.size, sizeof(WAVEOUTCAPSA));

    out->SetWantedDev(wvMapper);
    out->capabilities();
    EXPECT_EQ(sim::calls(Fn::waveOutGetDevCapsA).back().call.deviceId, UINT_PTR{WAVE_MAPPER});
}

class PlaybackVolumeTest : public PlaybackTest {
  protected:
    // Device 0: left and right volume; 1: no volume control; 2: left lower
    // than right. The mapper: device 0.
    PlaybackVolumeTest() : PlaybackTest(VolumeDevices()) {}

    static sim::Setup VolumeDevices() {
        return {.outputs = {{.volume = 0x80008000}, {.support = 0}, {.volume = 0xFFFF1000}}};
    }
};

TEST_F(PlaybackVolumeTest, SetVolumePacksBothChannelsAndGetVolumeReadsTheLeft) {
    out->SetWantedDev(wvDevice0);
    out->SetVolume(0x1234);
    EXPECT_EQ(sim::calls(Fn::waveOutSetVolume).at(0).call.volume, 0x12341234u);
    EXPECT_EQ(out->volume(), 0x1234);

    out->SetWantedDev(wvDevice2);
    EXPECT_EQ(out->volume(), 0x1000);
}

TEST_F(PlaybackVolumeTest, VolumeIsZeroWhenTheQueryFails) {
    out->SetWantedDev(wvDevice1);
    EXPECT_EQ(out->GetVolume(), 0);
    out->SetVolume(0x5555);  // not supported: ignored
    out->SetWantedDev(wvDevice0);
    sim::failNext(Fn::waveOutGetVolume, MMSYSERR_ERROR);
    EXPECT_EQ(out->GetVolume(), 0);
    EXPECT_EQ(out->GetVolume(), 0x8000);
}

TEST_F(PlaybackVolumeTest, VolumeAddressesTheSelectedDeviceNumber) {
    out->SetWantedDev(wvDevice2);
    Open();
    out->volume();
    out->SetWantedDev(wvMapper);
    out->SetVolume(1);
    out->volume();
    const auto gets = sim::calls(Fn::waveOutGetVolume);
    EXPECT_EQ(gets.at(0).call.deviceId, 2u);
    EXPECT_EQ(gets.at(1).call.deviceId, UINT_PTR{WAVE_MAPPER});
    EXPECT_EQ(sim::calls(Fn::waveOutSetVolume).at(0).call.deviceId, UINT_PTR{WAVE_MAPPER});
    EXPECT_EQ(out->volume(), 1);
}

// --- Published properties ---

TEST(SorvanOutClass, PublishesItsPropertiesInOrderWithTheirDefaults) {
    const TClassInfo& info = TSorvanOut::StaticClass();
    EXPECT_TRUE(info.InheritsFrom(TComponent::StaticClass()));
    Strings names;
    for (const TPropInfo& p : info.Properties) names.push_back(p.Name);
    EXPECT_EQ(names,
              Strings({"capabilities", "volume", "channels", "samples", "SampleBits", "device",
                       "DeviceID", "OnOpen", "OnDone", "OnClose", "OnDeviceChange"}));

    auto prop = [&](const char* name) { return *info.FindProperty(name); };
    EXPECT_FALSE(prop("capabilities").Stored);
    EXPECT_EQ(prop("capabilities").Kind, TTypeKind::tkSet);
    EXPECT_EQ(prop("capabilities").EnumNames.at(6), "ocSampleAccurate");
    EXPECT_FALSE(prop("volume").Stored);
    EXPECT_FALSE(prop("volume").OrdDefault.has_value());
    EXPECT_EQ(prop("channels").OrdDefault, 1);
    EXPECT_EQ(prop("samples").OrdDefault, 8000);
    EXPECT_EQ(prop("SampleBits").OrdDefault, 8);
    EXPECT_EQ(prop("device").OrdDefault, wvMapper);
    EXPECT_EQ(prop("device").EnumNames.at(10), "wvDevice9");
    EXPECT_TRUE(prop("DeviceID").IsReadOnly());
    EXPECT_FALSE(prop("DeviceID").Stored);
    EXPECT_EQ(prop("OnDone").Kind, TTypeKind::tkMethod);
}

TEST_F(PlaybackTest, ClassCreatesAComponentWithItsOwnerAndDefaults) {
    TComponent owner(nullptr);
    TComponent* created = TSorvanOut::StaticClass().Create(&owner);
    EXPECT_EQ(created->Owner(), &owner);
    const auto& info = created->ClassType();
    EXPECT_EQ(info.Name, "TSorvanOut");
    for (const char* name : {"channels", "samples", "SampleBits", "device"}) {
        const TPropInfo& p = *info.FindProperty(name);
        EXPECT_EQ(p.GetOrd(*created), *p.OrdDefault) << name;
    }
    info.FindProperty("samples")->SetOrd(*created, 44100);
    EXPECT_EQ(static_cast<TSorvanOut*>(created)->samples(), 44100);
    EXPECT_EQ(info.FindProperty("DeviceID")->GetOrd(*created), 0);
}

}  // namespace
