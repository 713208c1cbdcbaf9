// Devices and servers that go away while streams are open on them.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "PulseTestServer.h"
#include "PulseTestStreams.h"

namespace sorvan::pulsetest {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

bool isLost(HWAVEOUT handle) {
    WAVEOUTCAPSA caps{};
    return waveOutGetDevCapsA(reinterpret_cast<UINT_PTR>(handle), &caps, sizeof caps) ==
           MMSYSERR_NODRIVER;
}

TEST(PulseLoss, ASinkChosenByNumberThatGoesAwayIsALostDevice) {
    SORVAN_USE_PULSE_OR_SKIP();
    const std::string module = loadNullSink("sorvanLossSink");
    ASSERT_FALSE(module.empty());
    wavetest::NotificationWindow window;
    Player player(window, outputNamed("sorvanLossSink"), 500, 200, 10);
    ASSERT_TRUE(player.opened());
    const auto take = [&](const wavetest::Notification& n) { player.take(n); };
    pump(window, milliseconds(300), take);
    unloadModule(module);
    pump(window, milliseconds(1000), take, [&] { return player.done() == player.blocks(); });
    EXPECT_EQ(player.done(), player.blocks()) << "every block comes back";
    EXPECT_TRUE(isLost(player.handle()));
}

TEST(PulseLoss, TheMapperFollowsTheDefaultAndMovesWhenItsSinkGoes) {
    SORVAN_USE_PULSE_OR_SKIP();
    const std::string first = loadNullSink("sorvanFirst");
    const std::string second = loadNullSink("sorvanSecond");
    pactl("set-default-sink sorvanFirst");
    wavetest::NotificationWindow window;
    {
        Player player(window, WAVE_MAPPER, 500, 150, 10);
        ASSERT_TRUE(player.opened());
        const auto take = [&](const wavetest::Notification& n) { player.take(n); };
        pump(window, milliseconds(300), take);
        ASSERT_EQ(ourSinkInputs().size(), 1u);
        EXPECT_EQ(ourSinkInputs()[0].sink, sinkNumber("sorvanFirst"));

        pactl("set-default-sink sorvanSecond");
        pump(window, milliseconds(300), take);
        ASSERT_EQ(ourSinkInputs().size(), 1u);
        EXPECT_EQ(ourSinkInputs()[0].sink, sinkNumber("sorvanSecond"));

        unloadModule(second);
        pump(window, milliseconds(300), take);
        EXPECT_FALSE(isLost(player.handle()));
        // PulseAudio's null sinks render their first stream up to 2 s ahead.
        pump(window, milliseconds(4000), take, [&] { return player.done() == player.blocks(); });
        EXPECT_EQ(player.done(), player.blocks());
        EXPECT_FALSE(isLost(player.handle()));
    }
    pactl("set-default-sink sinkA");
    unloadModule(first);
}

TEST(PulseLoss, AServerKilledWhileRecordingIsALostDeviceAtOnce) {
    if (const auto why = unavailable()) GTEST_SKIP() << *why;
    PrivateServer server;
    if (!server.started()) GTEST_SKIP() << "no second sound server could be started for this test";
    ASSERT_TRUE(server.use());
    {
        wavetest::NotificationWindow window;
        Recorder recorder(window, WAVE_MAPPER, 4, 480 * 4);
        ASSERT_TRUE(recorder.opened());
        // A server that just started may hold back its first frames for a while.
        pump(window, milliseconds(4000), [&](const auto& n) { recorder.take(n); },
             [&] { return recorder.returned() > 10; });
        ASSERT_GT(recorder.returned(), 10u);
        ASSERT_TRUE(server.kill());
        const auto killed = Clock::now();
        WAVEINCAPSA caps{};
        while (waveInGetDevCapsA(reinterpret_cast<UINT_PTR>(recorder.handle()), &caps,
                                 sizeof caps) != MMSYSERR_NODRIVER &&
               Clock::now() - killed < milliseconds(2000)) {
            std::this_thread::sleep_for(milliseconds(1));
        }
        EXPECT_LT(Clock::now() - killed, milliseconds(100));
        const std::size_t before = recorder.returned();
        pump(window, milliseconds(50), [&](const auto& n) { recorder.take(n, false); });
        EXPECT_EQ(recorder.returned() - before, 4u) << "every queued buffer comes back";
    }
    EXPECT_TRUE(useFixtureServer());
}

}  // namespace
}  // namespace sorvan::pulsetest
