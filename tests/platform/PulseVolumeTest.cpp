// Volume by device number is the sink's; by handle, the stream's alone.
#include <gtest/gtest.h>

#include "PulseTestServer.h"
#include "PulseTestStreams.h"

namespace sorvan::pulsetest {
namespace {

HWAVEOUT deviceNumber(UINT id) {
    return reinterpret_cast<HWAVEOUT>(UINT_PTR{id});
}

constexpr DWORD quarterLeftThreeQuartersRight = 0xC000'4000;
constexpr DWORD half = 0x8000'8000;

TEST(PulseVolume, ADeviceNumberSetsAndReadsTheSinksLevels) {
    SORVAN_USE_PULSE_OR_SKIP();
    const HWAVEOUT sink = deviceNumber(outputNamed("SinkA"));
    ASSERT_EQ(waveOutSetVolume(sink, quarterLeftThreeQuartersRight), MMSYSERR_NOERROR);
    const std::string levels = pactl("get-sink-volume sinkA");
    EXPECT_NE(levels.find("front-left: 16384 /  25%"), std::string::npos) << levels;
    EXPECT_NE(levels.find("/  75%"), std::string::npos) << levels;
    DWORD read = 0;
    EXPECT_EQ(waveOutGetVolume(sink, &read), MMSYSERR_NOERROR);
    EXPECT_EQ(read, quarterLeftThreeQuartersRight);

    pactl("set-sink-volume sinkA 50%");
    EXPECT_EQ(waveOutGetVolume(sink, &read), MMSYSERR_NOERROR);
    EXPECT_EQ(read, half) << "what another program set is read back";
    restoreLevels();
}

TEST(PulseVolume, AHandleSetsThatStreamsLevelAndLeavesTheSinksAlone) {
    SORVAN_USE_PULSE_OR_SKIP();
    wavetest::NotificationWindow window;
    Player player(window, outputNamed("SinkA"), 500, 100, 10);
    ASSERT_TRUE(player.opened());
    ASSERT_EQ(waveOutSetVolume(player.handle(), half), MMSYSERR_NOERROR);
    const auto streams = ourSinkInputs();
    ASSERT_EQ(streams.size(), 1u);
    EXPECT_NE(streams[0].volume.find("/  50%"), std::string::npos) << streams[0].volume;
    EXPECT_NE(pactl("get-sink-volume sinkA").find("65536 / 100%"), std::string::npos);
    DWORD read = 0;
    EXPECT_EQ(waveOutGetVolume(player.handle(), &read), MMSYSERR_NOERROR);
    EXPECT_EQ(read, half);
    restoreLevels();
}

}  // namespace
}  // namespace sorvan::pulsetest
