// Setting virtual devices up and down, what they report and what they take.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "WaveTestSupport.h"
#include "platform/sim/Sim.h"

namespace sorvan::wavetest {
namespace {

class SimDevices : public ::testing::Test {
  protected:
    void TearDown() override { sim::tearDown(); }
};

TEST_F(SimDevices, CapsReportTheConfiguredDevices) {
    sim::Session session({
        .inputs = {{.name = "First In", .channels = 1, .formats = WAVE_FORMAT_1M08},
                   {.name = std::string(40, 'n'), .channels = 6}},
        .outputs = {{.name = "Only Out",
                     .channels = 2,
                     .formats = WAVE_FORMAT_4S16,
                     .support = WAVECAPS_VOLUME | WAVECAPS_SAMPLEACCURATE}},
        .defaultInput = 1,
    });
    EXPECT_EQ(waveInGetNumDevs(), 2u);
    EXPECT_EQ(waveOutGetNumDevs(), 1u);
    WAVEINCAPSA in{};
    ASSERT_EQ(waveInGetDevCapsA(0, &in, sizeof in), MMSYSERR_NOERROR);
    EXPECT_STREQ(in.szPname, "First In");
    EXPECT_EQ(in.wChannels, 1);
    EXPECT_EQ(in.dwFormats, WAVE_FORMAT_1M08);
    ASSERT_EQ(waveInGetDevCapsA(WAVE_MAPPER, &in, sizeof in), MMSYSERR_NOERROR);
    EXPECT_EQ(std::string(in.szPname), std::string(MAXPNAMELEN - 1, 'n'));
    EXPECT_EQ(in.wChannels, 6);
    WAVEOUTCAPSA out{};
    ASSERT_EQ(waveOutGetDevCapsA(0, &out, sizeof out), MMSYSERR_NOERROR);
    EXPECT_STREQ(out.szPname, "Only Out");
    EXPECT_EQ(out.dwFormats, WAVE_FORMAT_4S16);
    EXPECT_EQ(out.dwSupport, WAVECAPS_VOLUME | WAVECAPS_SAMPLEACCURATE);
}

TEST_F(SimDevices, TheMapperWithoutDevicesIsABadDevice) {
    sim::tearDown();
    EXPECT_EQ(waveInGetNumDevs(), 0u);
    const WAVEFORMATEX format = pcmFormat(1, 8000, 8);
    HWAVEIN in = nullptr;
    EXPECT_EQ(waveInOpen(&in, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL), MMSYSERR_BADDEVICEID);
    WAVEOUTCAPSA caps{};
    EXPECT_EQ(waveOutGetDevCapsA(WAVE_MAPPER, &caps, sizeof caps), MMSYSERR_BADDEVICEID);
    DWORD volume = 0;
    EXPECT_EQ(waveOutGetVolume(reinterpret_cast<HWAVEOUT>(~UINT_PTR{0}), &volume),
              MMSYSERR_BADDEVICEID);
}

TEST_F(SimDevices, OpenTakesOnlyTheFormatsTheDeviceAccepts) {
    sim::Session session(
        {.outputs = {{.accepts = sim::onlyStandardFormats(WAVE_FORMAT_4S16 | WAVE_FORMAT_1M08)}}});
    auto query = [](WAVEFORMATEX format) {
        return waveOutOpen(nullptr, 0, &format, 0, 0, WAVE_FORMAT_QUERY);
    };
    EXPECT_EQ(query(pcmFormat(2, 44100, 16)), MMSYSERR_NOERROR);
    EXPECT_EQ(query(pcmFormat(1, 11025, 8)), MMSYSERR_NOERROR);
    EXPECT_EQ(query(pcmFormat(1, 44100, 16)), WAVERR_BADFORMAT);
    EXPECT_EQ(query(pcmFormat(2, 48000, 16)), WAVERR_BADFORMAT);
    EXPECT_EQ(query(pcmFormat(2, 44100, 24)), WAVERR_BADFORMAT);
}

// A device takes only the rates it is said to take (8000-192000 Hz unless a
// test widens them), so that code tested here does not fail on hardware only.
TEST_F(SimDevices, RatesOutsideTheDevicesRangeAreRefusedUnlessWidened) {
    sim::Session session({.inputs = {{}, {.minRate = 1, .maxRate = 500000}}, .outputs = {{}}});
    for (const DWORD rate : {1u, 7999u, 192001u, 500000u}) {
        const WAVEFORMATEX format = pcmFormat(1, rate, 16);
        EXPECT_EQ(waveOutOpen(nullptr, 0, &format, 0, 0, WAVE_FORMAT_QUERY), WAVERR_BADFORMAT)
            << rate;
        HWAVEIN in = nullptr;
        EXPECT_EQ(waveInOpen(&in, 0, &format, 0, 0, CALLBACK_NULL), WAVERR_BADFORMAT) << rate;
        EXPECT_EQ(waveInOpen(&in, 1, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR) << rate;
        EXPECT_EQ(waveInClose(in), MMSYSERR_NOERROR);
    }
    for (const DWORD rate : {8000u, 192000u}) {
        const WAVEFORMATEX format = pcmFormat(1, rate, 16);
        EXPECT_EQ(waveOutOpen(nullptr, 0, &format, 0, 0, WAVE_FORMAT_QUERY), MMSYSERR_NOERROR);
    }
}

TEST_F(SimDevices, AStreamOpenAtTearDownKeepsWorkingUntilClosed) {
    sim::setUp({.outputs = {{.name = "Old"}}});
    const WAVEFORMATEX format = pcmFormat(1, 8000, 8);
    HWAVEOUT out = nullptr;
    ASSERT_EQ(waveOutOpen(&out, 0, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    sim::setUp({.outputs = {{.name = "New"}}});
    WAVEOUTCAPSA caps{};
    ASSERT_EQ(waveOutGetDevCapsA(reinterpret_cast<UINT_PTR>(out), &caps, sizeof caps),
              MMSYSERR_NOERROR);
    EXPECT_STREQ(caps.szPname, "New");  // the same device number now names the new device
    Buffer block(8, 'a');
    ASSERT_EQ(waveOutPrepareHeader(out, block.hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutWrite(out, block.hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    sim::advance(std::chrono::milliseconds(1));
    EXPECT_EQ(block.header.dwFlags, WHDR_PREPARED | WHDR_DONE);
    EXPECT_TRUE(sim::played(0).empty());
    EXPECT_EQ(waveOutClose(out), MMSYSERR_NOERROR);
}

TEST_F(SimDevices, DriversAreChosenByName) {
    const auto names = wave::driverNames();
    EXPECT_NE(std::find(names.begin(), names.end(), "auto"), names.end());
    EXPECT_NE(std::find(names.begin(), names.end(), "sim"), names.end());
    EXPECT_FALSE(wave::selectDriver("no such driver"));
    EXPECT_FALSE(wave::registerDriver("sim", [] { return wave::currentDriver(); }));
    EXPECT_TRUE(wave::selectDriver("sim"));
    EXPECT_TRUE(wave::selectDriver("auto"));
}

TEST_F(SimDevices, TheDefaultSetIsOneSineInputAndOneOutput) {
    const sim::Setup fallback = sim::defaultSetup();
    ASSERT_EQ(fallback.inputs.size(), 1u);
    ASSERT_EQ(fallback.outputs.size(), 1u);
    EXPECT_EQ(fallback.inputs[0].signal.kind, sim::Signal::Kind::sine);
    EXPECT_EQ(fallback.clock, sim::Clock::realTime);
}

}  // namespace
}  // namespace sorvan::wavetest
