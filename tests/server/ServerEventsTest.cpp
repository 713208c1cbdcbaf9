// What happens on a desktop while Sorvan plays or records through ALSA's
// default: the user changes the default, a sink or the microphone goes
// away, the server dies. And the sorvan program on each of the server's PCMs.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "../tools/CliRunner.h"
#include "../tools/SoundCheck.h"
#include "SoundServer.h"
#include "components/SorvanIn.h"
#include "components/SorvanOut.h"
#include "framework/Forms.h"

namespace servertest {
namespace {


class ServerEvents : public ::testing::Test {
  protected:
    void SetUp() override {
        static const std::string unavailable = UseServer();
        if (!unavailable.empty()) GTEST_SKIP() << unavailable;
    }

    static std::string ModuleOf(const std::string& name) {
        const std::string modules = Pactl("list short modules");
        const auto at = modules.find(name);
        if (at == std::string::npos) return {};
        const auto line = modules.rfind('\n', at);
        const auto start = line == std::string::npos ? 0 : line + 1;
        return modules.substr(start, modules.find('\t', start) - start);
    }

    EnvVars env() const { return {{"SORVAN_AUDIO", "alsa"}}; }
};

// Seconds of stereo 48 kHz audio recorded from the mapper while `during` runs.
template <class During>
double RecordSecondsWhile(std::chrono::milliseconds length, During during) {
    TSorvanIn in(nullptr);
    in.SetChannels(2);
    in.SetSamples(rate);
    in.SetBits(16);
    in.SetInBuffSize(tenMilliseconds);
    std::size_t bytes = 0;
    in.OnData = [&](TObject*, char*, std::int32_t size) { bytes += static_cast<std::size_t>(size); };
    in.open();
    EXPECT_TRUE(in.IsCapturing()) << in.LastErrorText();
    std::thread side(during);
    const std::size_t wanted = static_cast<std::size_t>(length.count()) * rate / 1000 * 4;
    PumpUntil([&] { return bytes >= wanted; }, length + 3s);
    in.close();
    side.join();
    return static_cast<double>(bytes) / (rate * 4);
}

TEST_F(ServerEvents, RecordingGoesOnWhileTheDefaultSourceChanges) {
    const double seconds = RecordSecondsWhile(3000ms, [] {
        std::this_thread::sleep_for(1s);
        Pactl("set-default-source sinkB.monitor");
        std::this_thread::sleep_for(1s);
        Pactl("set-default-source micV");
    });
    EXPECT_GE(seconds, 3.0);
}

TEST_F(ServerEvents, RecordingGoesOnWhenTheMicrophoneGoesAway) {
    const std::string module = ModuleOf("source_name=micV");
    ASSERT_FALSE(module.empty());
    const double seconds = RecordSecondsWhile(2000ms, [&] {
        std::this_thread::sleep_for(500ms);
        Pactl("unload-module " + module);
    });
    EXPECT_GE(seconds, 2.0);
    RestoreMicrophone();
}

TEST_F(ServerEvents, EveryBlockIsDoneWhenTheSinkGoesAwayWhilePlaying) {
    const std::string module = ModuleOf("sink_name=sinkA");
    ASSERT_FALSE(module.empty());
    TSorvanOut out(nullptr);
    out.SetChannels(2);
    out.SetSamples(rate);
    out.SetBits(16);
    int done = 0;
    out.OnDone = [&](TObject*) { ++done; };
    ASSERT_TRUE(out.open()) << out.LastErrorText();
    const std::vector<char> block(tenMilliseconds);
    int given = 0;
    std::thread unload([&] {
        std::this_thread::sleep_for(500ms);
        Pactl("unload-module " + module);
    });
    PumpUntil(
        [&] {
            while (given < 200 && given - done < 4) {
                out.playback(block.data(), tenMilliseconds);
                ++given;
            }
            return done == given && given == 200;
        },
        15s);
    unload.join();
    out.close();
    EXPECT_EQ(done, given);
    Pactl("load-module module-null-sink sink_name=sinkA rate=48000 "
          "sink_properties=device.description=SinkA");
    std::this_thread::sleep_for(300ms);
    Pactl("set-default-sink sinkA");
}

TEST_F(ServerEvents, TheProgramRecordsAndPlaysOnEachOfTheServersPcms) {
    TempFolder folder;
    ASSERT_EQ(RunTool("sox -q -n -r 48000 -c 2 -b 16 '" + (folder.path() / "second.wav").string() +
                      "' synth 1 sine 440 gain -6"),
              "");
    for (const std::string& pcm : ServerPcms()) {
        SCOPED_TRACE(pcm);
        const CliResult recorded = RunSorvan(
            {"record", "-q", "-D", pcm, "-r", "48000", "-c", "2", "-d", "2", "take.wav", "--force"},
            folder.path(), env());
        EXPECT_EQ(recorded.exitCode, 0) << recorded.err;
        const std::vector<short> samples = DecodeShorts(folder.path() / "take.wav");
        ASSERT_GE(samples.size(), std::size_t{2 * rate * 2});
        const std::vector<short> settled(samples.begin() + rate / 10 * 2, samples.end());
        EXPECT_NEAR(CheckTone(settled, rate).frequency, toneHz, 15);
        for (int run = 0; run < 3; ++run) {
            const CliResult played = RunSorvan({"play", "-q", "-D", pcm, "second.wav"}, folder.path(), env());
            EXPECT_EQ(played.exitCode, 0) << played.err;
        }
    }
}

// On the sound server's own driver, play --volume is the stream's: the
// user's level of the sink stays as it was.
TEST_F(ServerEvents, PlayVolumeIsTheStreamsAndLeavesTheSinkAlone) {
    TempFolder folder;
    ASSERT_EQ(RunTool("sox -q -n -r 48000 -c 2 -b 16 '" + (folder.path() / "long.wav").string() +
                      "' synth 3 sine 440 gain -6"),
              "");
    const std::string sinkBefore = Pactl("get-sink-volume sinkA");
    RunningSorvan playing({"play", "-q", "--volume", "50", "long.wav"}, folder.path(),
                          {{"SORVAN_AUDIO", "pulse"}});
    std::this_thread::sleep_for(1500ms);
    const std::string sinkDuring = Pactl("get-sink-volume sinkA");
    const std::string streams = Pactl("list sink-inputs");
    const CliResult played = playing.Wait(30s);
    EXPECT_EQ(played.exitCode, 0) << played.err;
    EXPECT_EQ(sinkDuring, sinkBefore);
    EXPECT_NE(streams.find("50%"), std::string::npos) << streams;
}

// Last: the server stays dead.
TEST_F(ServerEvents, AKilledServerIsNamedAndTheRecordingIsComplete) {
    TempFolder folder;
    ASSERT_EQ(RunTool("sox -q -n -r 48000 -c 2 -b 16 '" + (folder.path() / "long.wav").string() +
                      "' synth 20 sine 440 gain -6"),
              "");
    RunningSorvan recording({"record", "-d", "20", "take.wav"}, folder.path(), env());
    RunningSorvan playing({"play", "long.wav"}, folder.path(), env());
    std::this_thread::sleep_for(1500ms);
    KillServer();
    const CliResult recorded = recording.Wait(30s);
    const CliResult played = playing.Wait(30s);
    const std::string server = Kind() == "pipewire" ? "PipeWire" : "PulseAudio";
    for (const CliResult* result : {&recorded, &played}) {
        EXPECT_FALSE(result->timedOut);
        EXPECT_NE(result->exitCode, 0);
        EXPECT_NE(result->err.find(server), std::string::npos) << result->err;
    }
    const auto sound = InspectSound(folder.path() / "take.wav");
    ASSERT_TRUE(sound.has_value());
    EXPECT_GT(sound->info.frames, 0);
    EXPECT_TRUE(WavSizesMatchLength(folder.path() / "take.wav"));
}

}  // namespace
}  // namespace servertest
