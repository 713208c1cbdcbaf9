// Recording from the server's sources, checked sample by sample.
#include <gtest/gtest.h>

#include <chrono>

#include "PulseTestServer.h"
#include "PulseTestStreams.h"
#include "platform/WaveGaps.h"

namespace sorvan::pulsetest {
namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t tenMs = 480 * 4;  // 10 ms of the test format

TEST(PulseCapture, TheVirtualSourcesToneArrivesWhole) {
    SORVAN_USE_PULSE_OR_SKIP();
    wavetest::NotificationWindow window;
    Recorder recorder(window, inputNamed("VirtMic"), 8, tenMs);
    ASSERT_TRUE(recorder.opened());
    const auto take = [&](const auto& n) { recorder.take(n); };
    // A PulseAudio null sink that just started renders up to 2 s ahead first.
    pump(window, std::chrono::seconds(3), take, [&] { return recorder.returned() > 0; });
    pump(window, std::chrono::milliseconds(1500), take);
    const auto& left = recorder.left();
    ASSERT_GT(left.size(), 48000u);
    const ToneReport tone = examineTone(left, 48000, virtualToneHz);
    EXPECT_GT(tone.peak, 8000);
    EXPECT_NEAR(tone.frequency, virtualToneHz, 1);
    // The server makes the tone on its own clock, so the source never
    // breaks: a test thread held up past its buffers' slack is a counted gap,
    // which breaks the tone where it starts and where it ends. Any other
    // break is the driver's.
    WaveGaps gaps;
    ASSERT_EQ(waveInGetGaps(recorder.handle(), &gaps), MMSYSERR_NOERROR);
    EXPECT_LE(tone.breaks, 2 * gaps.count());
}

// Also the playback side: every block played, and none returned before it
// could have been heard.
TEST(PulseCapture, ASinksMonitorHearsWhatIsPlayedIntoTheSink) {
    SORVAN_USE_PULSE_OR_SKIP();
    wavetest::NotificationWindow window;
    Recorder recorder(window, inputNamed("Monitor of SinkA"), 4, tenMs);
    ASSERT_TRUE(recorder.opened());
    const auto started = Clock::now();
    Player player(window, outputNamed("SinkA"), 750, 100, 10);
    ASSERT_TRUE(player.opened());
    const auto both = [&](const auto& n) {
        recorder.take(n);
        player.take(n);
    };
    pump(window, std::chrono::seconds(3), both, [&] { return player.done() == player.blocks(); });
    EXPECT_EQ(player.done(), player.blocks());
    EXPECT_GE(Clock::now() - started, std::chrono::milliseconds(990));

    // The monitor holds silence, then the tone, then silence: the middle is checked.
    const auto& left = recorder.left();
    std::size_t first = 0;
    while (first < left.size() && std::abs(left[first]) < 1000) ++first;
    ASSERT_GT(left.size(), first + 48000 / 2 + 4800);
    const std::vector<std::int16_t> middle(left.begin() + long(first) + 2400,
                                           left.begin() + long(first) + 2400 + 24000);
    const ToneReport tone = examineTone(middle, 48000, 750);
    EXPECT_NEAR(tone.frequency, 750, 1);
    EXPECT_EQ(tone.breaks, 0u);
    EXPECT_EQ(tone.silences, 0u) << "the sink ran dry while blocks were queued";
}

}  // namespace
}  // namespace sorvan::pulsetest
