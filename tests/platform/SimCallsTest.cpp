// Injected failures and the log of calls.
#include <gtest/gtest.h>

#include <algorithm>

#include "WaveTestSupport.h"
#include "platform/sim/Sim.h"

namespace sorvan::wavetest {
namespace {

using sim::Fn;

class SimCalls : public ::testing::Test {
  protected:
    void SetUp() override {
        sim::setUp(
            {.inputs = {{.name = "In 0"}, {.name = "In 1"}}, .outputs = {{.name = "Out 0"}}});
    }
    void TearDown() override {
        for (HWAVEIN handle : opened) {
            waveInReset(handle);
            waveInClose(handle);
        }
        pumpMessages();
        sim::tearDown();
    }

    HWAVEIN open(UINT id) {
        HWAVEIN handle = nullptr;
        EXPECT_EQ(waveInOpen(&handle, id, &format, window.callback(), 0, CALLBACK_WINDOW),
                  MMSYSERR_NOERROR);
        opened.push_back(handle);
        return handle;
    }

    WAVEFORMATEX format = pcmFormat(2, 44100, 16);
    NotificationWindow window;
    std::vector<HWAVEIN> opened;
};

TEST_F(SimCalls, TheNextCallsFailWithTheGivenCodeAndChangeNothing) {
    HWAVEIN in = open(0);
    sim::failNext(Fn::waveInAddBuffer, MMSYSERR_NOMEM, 2);
    Buffer buffer(64);
    ASSERT_EQ(waveInPrepareHeader(in, buffer.hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    EXPECT_EQ(waveInAddBuffer(in, buffer.hdr(), sizeof(WAVEHDR)), MMSYSERR_NOMEM);
    EXPECT_EQ(waveInAddBuffer(in, buffer.hdr(), sizeof(WAVEHDR)), MMSYSERR_NOMEM);
    EXPECT_EQ(buffer.header.dwFlags, WHDR_PREPARED);
    EXPECT_EQ(waveInAddBuffer(in, buffer.hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    EXPECT_EQ(waveInReset(in), MMSYSERR_NOERROR);

    sim::failNext(Fn::waveInClose, MMSYSERR_ERROR);
    EXPECT_EQ(waveInClose(in), MMSYSERR_ERROR);
    EXPECT_EQ(waveInStart(in), MMSYSERR_NOERROR);  // still open

    sim::failNext(Fn::waveInOpen, MMSYSERR_ALLOCATED);
    HWAVEIN second = nullptr;
    EXPECT_EQ(waveInOpen(&second, 0, &format, window.callback(), 0, CALLBACK_WINDOW),
              MMSYSERR_ALLOCATED);
    EXPECT_EQ(second, nullptr);
    const auto seen = window.take();
    EXPECT_EQ(std::count_if(seen.begin(), seen.end(),
                            [](const Notification& n) { return n.msg == MM_WIM_OPEN; }),
              1);
}

TEST_F(SimCalls, AFailureForOneDeviceSparesTheOthers) {
    HWAVEIN first = open(0);
    HWAVEIN second = open(1);
    sim::failNext(Fn::waveInStart, MMSYSERR_NOTENABLED, 1, 1);
    EXPECT_EQ(waveInStart(first), MMSYSERR_NOERROR);
    EXPECT_EQ(waveInStart(second), MMSYSERR_NOTENABLED);
    EXPECT_EQ(waveInStart(second), MMSYSERR_NOERROR);

    sim::failNext(Fn::waveInGetDevCapsA, MMSYSERR_NODRIVER, 1, 1);
    WAVEINCAPSA caps{};
    EXPECT_EQ(waveInGetDevCapsA(0, &caps, sizeof caps), MMSYSERR_NOERROR);
    EXPECT_EQ(waveInGetDevCapsA(reinterpret_cast<UINT_PTR>(second), &caps, sizeof caps),
              MMSYSERR_NODRIVER);
}

TEST_F(SimCalls, CallsNamingNoDeviceDoNotUseUpAFailure) {
    sim::failNext(Fn::waveInStop, MMSYSERR_ERROR);
    EXPECT_EQ(waveInStop(HWAVEIN{}), MMSYSERR_INVALHANDLE);
    sim::failNext(Fn::waveOutSetVolume, MMSYSERR_ERROR);
    EXPECT_EQ(waveOutSetVolume(reinterpret_cast<HWAVEOUT>(UINT_PTR{5}), 0), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(waveOutSetVolume(HWAVEOUT{}, 0), MMSYSERR_ERROR);
    EXPECT_EQ(waveInStop(open(0)), MMSYSERR_ERROR);
}

TEST_F(SimCalls, TheLogHoldsEveryCallWithItsArgumentsAndResult) {
    HWAVEIN in = open(1);
    Buffer buffer(64);
    waveInPrepareHeader(in, buffer.hdr(), 40);
    waveInPrepareHeader(in, buffer.hdr(), sizeof(WAVEHDR));
    waveInStart(in);
    waveInReset(in);
    waveInClose(in);
    waveInGetNumDevs();
    DWORD volume = 0;
    waveOutGetVolume(HWAVEOUT{}, &volume);
    opened.clear();

    const auto log = sim::log();
    ASSERT_EQ(log.size(), 8u);
    const auto handle = reinterpret_cast<UINT_PTR>(in);
    const auto& opening = log[0];
    EXPECT_EQ(wave::name(opening.call.fn), "waveInOpen");
    EXPECT_EQ(opening.call.handle, handle);
    EXPECT_EQ(opening.call.deviceId, 1u);
    EXPECT_EQ(opening.call.device, 1u);
    EXPECT_EQ(opening.call.callback, window.callback());
    EXPECT_EQ(opening.call.flags, CALLBACK_WINDOW);
    ASSERT_TRUE(opening.call.format.has_value());
    EXPECT_EQ(opening.call.format->nSamplesPerSec, 44100u);
    EXPECT_EQ(opening.result, MMSYSERR_NOERROR);

    EXPECT_EQ(log[1].call.fn, Fn::waveInPrepareHeader);
    EXPECT_EQ(log[1].call.header, buffer.hdr());
    EXPECT_EQ(log[1].call.size, 40u);
    EXPECT_EQ(log[1].result, MMSYSERR_INVALPARAM);
    EXPECT_EQ(log[2].call.size, sizeof(WAVEHDR));
    EXPECT_EQ(log[2].result, MMSYSERR_NOERROR);
    EXPECT_EQ(log[3].call.fn, Fn::waveInStart);
    EXPECT_EQ(log[4].call.fn, Fn::waveInReset);
    EXPECT_EQ(log[5].call.fn, Fn::waveInClose);
    EXPECT_EQ(log[5].call.handle, handle);
    EXPECT_EQ(log[6].call.fn, Fn::waveInGetNumDevs);
    EXPECT_EQ(log[6].result, 2u);  // the count
    EXPECT_EQ(log[7].call.fn, Fn::waveOutGetVolume);
    EXPECT_EQ(log[7].call.device, 0u);
    EXPECT_EQ(log[7].call.volume, 0xFFFFFFFFu);

    EXPECT_EQ(sim::calls(Fn::waveInStart).size(), 1u);
    sim::clearLog();
    EXPECT_TRUE(sim::log().empty());
}

}  // namespace
}  // namespace sorvan::wavetest
