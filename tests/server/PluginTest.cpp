// The components on a sound server's ALSA plug-ins, as a desktop program
// meets them: ALSA's "default", "pulse" and (with PipeWire) "pipewire". The
// server's microphone hears a tone made on the server's own clock, which
// never breaks; what is recorded is checked
// sample by sample, and the processor time against a busy loop.
#include <gtest/gtest.h>

#include <time.h>

#include <chrono>
#include <thread>
#include <vector>

#include "SoundServer.h"
#include "components/SorvanIn.h"
#include "components/SorvanOut.h"
#include "framework/Forms.h"

namespace servertest {
namespace {


std::chrono::nanoseconds ProcessCpuTime() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}


class Plugin : public ::testing::TestWithParam<std::string> {
  protected:
    void SetUp() override {
        static const std::string unavailable = UseServer();
        if (!unavailable.empty()) GTEST_SKIP() << unavailable;
        if (GetParam() == "pipewire" && Kind() != "pipewire") GTEST_SKIP() << "no PipeWire here";
    }
};

struct Recording {
    std::vector<short> samples;
    TSVGaps gaps;
    std::chrono::nanoseconds cpu{};
};

// Records `length` from the PCM with two buffers of 10 ms, as `during` runs alongside.
template <class During>
Recording Record(const std::string& pcm, std::chrono::milliseconds length, During during) {
    TSorvanIn in(nullptr);
    in.SetChannels(2);
    in.SetSamples(rate);
    in.SetBits(16);
    in.SetInBuffSize(tenMilliseconds);
    in.SetWantedDev(pcm == "default" ? wvMapper : static_cast<TSVDev>(InputDevice(pcm) + 1));
    Recording recording;
    const std::size_t wanted = static_cast<std::size_t>(length.count()) * rate / 1000 * 2;
    in.OnData = [&](TObject*, char* data, std::int32_t size) {
        const auto* samples = reinterpret_cast<const short*>(data);
        recording.samples.insert(recording.samples.end(), samples, samples + size / 2);
    };
    const auto cpuBefore = ProcessCpuTime();
    in.open();
    EXPECT_TRUE(in.IsCapturing()) << in.LastErrorText();
    std::thread side(during);
    PumpUntil([&] { return recording.samples.size() >= wanted; }, length + 3s);
    in.close();
    recording.cpu = ProcessCpuTime() - cpuBefore;
    recording.gaps = in.Gaps();
    side.join();
    return recording;
}

TEST_P(Plugin, RecordsTheToneWholeAndEveryGapIsCounted) {
    const Recording recording = Record(GetParam(), 3000ms, [] {});
    ASSERT_GE(recording.samples.size(), std::size_t{3 * rate * 2});
    // The first milliseconds may hold the server's start.
    const std::vector<short> settled(recording.samples.begin() + rate / 10 * 2, recording.samples.end());
    const ToneCheck tone = CheckTone(settled, rate);
    // The server's tone, give or take what gaps took out or put in.
    EXPECT_NEAR(tone.frequency, toneHz, 15);
    // A gap of silence put in breaks the tone where it starts and where it
    // ends. ALSA's pulse plug-in on PipeWire's PulseAudio service also fills
    // in silence with its position kept to the clock, which nothing can see
    // (arecord -D pulse records the same breaks).
    if (GetParam() != "pulse" || Kind() != "pipewire") {
        EXPECT_LE(static_cast<std::uint64_t>(tone.breaks), 2 * recording.gaps.count())
            << "a gap in the sound that nothing counted";
    }
    // A thread that polled a readable descriptor in a loop took a third of a core.
    EXPECT_LT(recording.cpu, 300ms) << "for 3 s of audio";
}

TEST_P(Plugin, PlaysEveryBlockAndEachIsDoneOnceHeard) {
    TSorvanOut out(nullptr);
    out.SetChannels(2);
    out.SetSamples(rate);
    out.SetBits(16);
    out.SetWantedDev(GetParam() == "default" ? wvMapper
                                              : static_cast<TSVDev>(OutputDevice(GetParam()) + 1));
    int done = 0;
    out.OnDone = [&](TObject*) { ++done; };
    const std::vector<char> block(tenMilliseconds);
    ASSERT_TRUE(out.open()) << out.LastErrorText();
    const auto cpuBefore = ProcessCpuTime();
    const auto started = Clock::now();
    int given = 0;
    PumpUntil(
        [&] {
            while (given < 100 && given - done < 4) {
                EXPECT_TRUE(out.playback(block.data(), tenMilliseconds));
                ++given;
            }
            return done == 100;
        },
        10s);
    const auto elapsed = Clock::now() - started;
    const auto cpu = ProcessCpuTime() - cpuBefore;
    out.close();
    EXPECT_EQ(done, 100);
    EXPECT_GE(elapsed, 900ms) << "done before the second could have been heard";
    EXPECT_LT(cpu, 200ms);
}

INSTANTIATE_TEST_SUITE_P(Pcms, Plugin, ::testing::Values("default", "pulse", "pipewire"));

}  // namespace
}  // namespace servertest
