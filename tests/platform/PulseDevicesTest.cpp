// The server's devices as the wave API lists them.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "PulseTestServer.h"
#include "PulseTestStreams.h"
#include "platform/wave/Driver.h"

namespace sorvan::pulsetest {
namespace {

TEST(PulseDevices, RealSourcesComeBeforeMonitorsAndTheDefaultsAreTheServers) {
    SORVAN_USE_PULSE_OR_SKIP();
    const UINT mic = inputNamed("VirtMic");
    const UINT monitor = inputNamed("Monitor of SinkA");
    ASSERT_NE(mic, noDevice);
    ASSERT_NE(monitor, noDevice);
    EXPECT_LT(mic, monitor);

    WAVEINCAPSA in{};
    ASSERT_EQ(waveInGetDevCapsA(WAVE_MAPPER, &in, sizeof in), MMSYSERR_NOERROR);
    EXPECT_STREQ(in.szPname, "VirtMic");
    EXPECT_EQ(in.wChannels, 1) << "the microphone is mono";
    EXPECT_TRUE(in.dwFormats & WAVE_FORMAT_48M16);
    EXPECT_FALSE(in.dwFormats & WAVE_FORMAT_4S16) << "the server runs it at 48 kHz";

    WAVEOUTCAPSA out{};
    ASSERT_EQ(waveOutGetDevCapsA(WAVE_MAPPER, &out, sizeof out), MMSYSERR_NOERROR);
    EXPECT_STREQ(out.szPname, "SinkA");
    EXPECT_EQ(out.dwSupport & (WAVECAPS_VOLUME | WAVECAPS_LRVOLUME),
              DWORD{WAVECAPS_VOLUME | WAVECAPS_LRVOLUME});

    std::size_t named = 0;
    ASSERT_EQ(wave::currentDriver()->addNamedDevice(wave::Direction::output, "sinkA", named),
              MMSYSERR_NOERROR);
    EXPECT_EQ(named, outputNamed("SinkA"));
    EXPECT_EQ(wave::currentDriver()->addNamedDevice(wave::Direction::output, "noSuchSink", named),
              MMSYSERR_NODRIVER);
}

TEST(PulseDevices, AutoTakesTheServerWhereOneAnswers) {
    SORVAN_USE_PULSE_OR_SKIP();
    ASSERT_TRUE(wave::selectDriver("auto"));
    EXPECT_EQ(wave::currentDriverName(), "pulse");
}

TEST(PulseDevices, DevicesThatComeAndGoAreSeenAtTheNextCountAndLongNamesAreCut) {
    SORVAN_USE_PULSE_OR_SKIP();
    const UINT before = waveOutGetNumDevs();
    const std::string longName = "AVeryLongSinkNameThatGoesOnPastThirtyOneCharacters";
    const std::string module = loadNullSink(longName);
    ASSERT_FALSE(module.empty());
    EXPECT_EQ(waveOutGetNumDevs(), before + 1);
    EXPECT_EQ(outputNamed(longName.substr(0, MAXPNAMELEN - 1).c_str()), before)
        << "a new device joins the end of the list";
    unloadModule(module);
    // The server takes a moment to drop a sink after saying it unloaded it.
    for (int tries = 0; tries < 100 && waveOutGetNumDevs() != before; ++tries) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(waveOutGetNumDevs(), before);
}

}  // namespace
}  // namespace sorvan::pulsetest
