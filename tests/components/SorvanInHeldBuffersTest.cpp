// TSorvanIn where the device will not let go: refused stops and resets while
// closing or destroying, buffers too small for one frame, and handlers that
// reassign their own event or destroy the component.
#include <string>

#include "CaptureFixture.h"

namespace {

using Names = std::vector<std::string>;

std::vector<MMRESULT> Results(Fn fn) {
    std::vector<MMRESULT> results;
    for (const auto& c : sim::calls(fn)) results.push_back(c.result);
    return results;
}

std::vector<DWORD> PreparedLengths() {
    std::vector<DWORD> lengths;
    for (const auto& c : sim::calls(Fn::waveInPrepareHeader)) {
        lengths.push_back(c.call.header->dwBufferLength);
    }
    return lengths;
}

class HeldBuffersTest : public CaptureTest {
  protected:
    // Open with 16-byte buffers, one already delivered and handed back.
    void Running() {
        in->SetInBuffSize(16);
        in->open();
        Pump();
        Record(2ms);
        ASSERT_EQ(delivered.size(), 1u);
    }
    // A close during which the device keeps recording into every buffer.
    void CloseRefusedByTheDevice() {
        sim::failNext(Fn::waveInStop, MMSYSERR_ERROR);
        sim::failNext(Fn::waveInReset, MMSYSERR_ERROR);
        sim::clearLog();
        in->close();
    }
};

}  // namespace

TEST_F(HeldBuffersTest, RefusedResetKeepsTheBuffersUntilTheDeviceGivesThemBack) {
    Running();
    CloseRefusedByTheDevice();
    EXPECT_EQ(Results(Fn::waveInUnprepareHeader), std::vector<MMRESULT>(2, WAVERR_STILLPLAYING));
    EXPECT_EQ(Results(Fn::waveInClose), std::vector<MMRESULT>{WAVERR_STILLPLAYING});
    EXPECT_TRUE(sim::calls(Fn::waveInPrepareHeader).empty());
    EXPECT_TRUE(in->IsOpen());

    // The device fills the buffers it still holds and returns them: they are
    // released, their bytes (recorded after the close) dropped.
    sim::clearLog();
    Record(4ms);
    EXPECT_EQ(delivered.size(), 1u);
    EXPECT_EQ(Results(Fn::waveInUnprepareHeader), std::vector<MMRESULT>(2, MMSYSERR_NOERROR));
    EXPECT_TRUE(sim::calls(Fn::waveInAddBuffer).empty());

    sim::clearLog();
    in->close();
    EXPECT_EQ(Called(sim::log()), (Names{"waveInStop", "waveInReset", "waveInClose"}));
    EXPECT_FALSE(in->IsOpen());
    Pump();
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(exceptions, 0);
}

TEST_F(HeldBuffersTest, ALaterCloseResetsAgainAndReleasesWhatTheDeviceHeld) {
    Running();
    CloseRefusedByTheDevice();
    EXPECT_TRUE(in->IsOpen());

    sim::clearLog();
    in->close();
    EXPECT_EQ(Called(sim::log()), (Names{"waveInStop", "waveInReset", "waveInUnprepareHeader",
                                         "waveInUnprepareHeader", "waveInClose"}));
    for (const auto& c : sim::log()) EXPECT_EQ(c.result, MMSYSERR_NOERROR);
    EXPECT_FALSE(in->IsOpen());
    EXPECT_FALSE(in->IsCapturing());

    // The next recording starts afresh.
    in->open();
    Pump();
    Record(2ms);
    EXPECT_EQ(delivered.size(), 2u);
    EXPECT_EQ(opens, 2);
    EXPECT_EQ(closes, 1);
}

TEST_F(HeldBuffersTest, ResetRefusedWhileStoppedIsRetriedByTheNextClose) {
    Running();
    sim::failNext(Fn::waveInReset, MMSYSERR_ERROR);
    in->close();
    EXPECT_FALSE(in->IsCapturing());
    EXPECT_TRUE(in->IsOpen());

    sim::clearLog();
    in->close();
    EXPECT_EQ(Called(sim::log()), (Names{"waveInReset", "waveInUnprepareHeader",
                                         "waveInUnprepareHeader", "waveInClose"}));
    EXPECT_FALSE(in->IsOpen());
}

TEST_F(HeldBuffersTest, DestructionGetsTheBuffersBackBeforeFreeingThem) {
    Running();
    const HWAVEIN device = in->DeviceID();
    CloseRefusedByTheDevice();
    sim::clearLog();
    in.reset();
    EXPECT_EQ(Results(Fn::waveInUnprepareHeader), std::vector<MMRESULT>(2, MMSYSERR_NOERROR));
    EXPECT_EQ(Results(Fn::waveInClose), std::vector<MMRESULT>{MMSYSERR_NOERROR});
    EXPECT_EQ(waveInClose(device), MMSYSERR_INVALHANDLE) << "the device was left open";
    Record(10ms);
    EXPECT_EQ(delivered.size(), 1u);
}

TEST_F(HeldBuffersTest, DeviceThatNeverLetsGoKeepsItsBuffersAfterDestruction) {
    in->SetInBuffSize(2048);
    in->open();
    Pump();
    const HWAVEIN device = in->DeviceID();
    sim::failNext(Fn::waveInStop, MMSYSERR_ERROR, 10);
    sim::failNext(Fn::waveInReset, MMSYSERR_ERROR, 10);
    in.reset();
    EXPECT_EQ(Results(Fn::waveInClose), std::vector<MMRESULT>(3, WAVERR_STILLPLAYING));

    // Still recording into the buffers the component had to leave to it.
    Record(10ms);
    EXPECT_EQ(waveInClose(device), WAVERR_STILLPLAYING);
    EXPECT_EQ(exceptions, 0);

    // The device lets go at last; its notifications reach nobody.
    sim::setUp(Devices());
    EXPECT_EQ(waveInReset(device), MMSYSERR_NOERROR);
    EXPECT_EQ(waveInClose(device), MMSYSERR_NOERROR);
    Pump();
}

TEST_F(CaptureTest, BuffersAreWholeFramesAndTheSetSizeIsKept) {
    sim::setUp({.inputs = {{.name = "Eight", .channels = 8, .signal = sim::Signal::ramp()},
                           {.name = "Stereo", .channels = 2, .signal = sim::Signal::ramp()}}});
    in->SetChannels(8);
    in->SetBits(24);
    in->SetSamples(8000);
    in->SetInBuffSize(16);  // less than one 24-byte frame
    sim::failNext(Fn::waveInStart, MMSYSERR_ERROR);
    in->open();
    Pump();
    ASSERT_EQ(PreparedLengths(), (std::vector<DWORD>{24, 24}));
    EXPECT_EQ(in->BufferSize(), 16);

    // Each buffer comes back with one whole frame.
    ASSERT_EQ(waveInStart(in->DeviceID()), MMSYSERR_NOERROR);
    Record(1ms);
    ASSERT_FALSE(delivered.empty());
    for (const auto& d : delivered) EXPECT_EQ(d.size(), 24u);
    in->close();
    Pump();

    delivered.clear();
    sim::clearLog();
    in->SetWantedDev(wvDevice1);
    in->SetChannels(2);
    in->SetBits(16);
    in->SetInBuffSize(50);  // whole frames of it: 48 bytes, never more than OnData's size
    in->open();
    Pump();
    EXPECT_EQ(PreparedLengths(), (std::vector<DWORD>{48, 48}));
    Record(10ms);
    ASSERT_FALSE(delivered.empty());
    EXPECT_EQ(delivered[0].size(), 48u);
    EXPECT_EQ(in->BufferSize(), 50);
}

TEST_F(CaptureTest, HandlersMayReassignTheirOwnEvents) {
    in->SetInBuffSize(16);
    std::vector<std::string> seen;
    // The handler's captured name outlives its reassignment only if the
    // running callable is kept alive.
    in->OnData = [this, &seen, name = std::string(64, 'a')](TObject*, char*, std::int32_t) {
        in->OnData = [&seen, other = std::string(64, 'b')](TObject*, char*, std::int32_t) {
            seen.push_back(other);
        };
        seen.push_back(name);
    };
    in->OnOpen = [this, &seen, name = std::string(64, 'o')](TObject*) {
        in->OnOpen = nullptr;
        seen.push_back(name);
    };
    in->open();
    Pump();
    Record(4ms);
    EXPECT_EQ(seen, (std::vector<std::string>{std::string(64, 'o'), std::string(64, 'a'),
                                              std::string(64, 'b')}));
}

TEST_F(CaptureTest, HandlerMayDestroyTheComponent) {
    in->SetInBuffSize(16);
    in->OnData = [this](TObject*, char* data, std::int32_t size) {
        delivered.emplace_back(data, data + size);
        in.reset();
    };
    in->open();
    Pump();
    const HWAVEIN device = in->DeviceID();
    Record(4ms);
    EXPECT_EQ(in, nullptr);
    EXPECT_EQ(delivered.size(), 1u);
    EXPECT_EQ(waveInClose(device), MMSYSERR_INVALHANDLE) << "the device was left open";
    Record(4ms);
    EXPECT_EQ(closes, 0);
}
