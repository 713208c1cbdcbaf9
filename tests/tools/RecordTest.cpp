#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>

#include <chrono>
#include <csignal>
#include <thread>

#include "CliRunner.h"
#include "SoundCheck.h"

namespace {

struct Format {
    int channels;
    int rate;
    int bits;
};

class RecordFormat : public testing::TestWithParam<Format> {};

TEST_P(RecordFormat, WritesTheAskedLengthAndFormatThatSoxiAndLibsndfileAccept) {
    const Format format = GetParam();
    TempFolder folder;
    const CliResult result =
        RunSorvan({"record", "take.wav", "-d", "0.3", "-c", std::to_string(format.channels), "-r",
                   std::to_string(format.rate), "-b", std::to_string(format.bits)},
                  folder.path());
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const int frames = format.rate * 3 / 10;

    const auto sound = InspectSound(folder / "take.wav");
    ASSERT_TRUE(sound);
    EXPECT_FALSE(sound->cutShort);
    EXPECT_EQ(sound->info.frames, frames);
    EXPECT_EQ(sound->info.channels, format.channels);
    EXPECT_EQ(sound->info.samplerate, format.rate);
    EXPECT_EQ(sound->info.format & SF_FORMAT_TYPEMASK, SF_FORMAT_WAV);
    const int subtype = format.bits == 8    ? SF_FORMAT_PCM_U8
                        : format.bits == 16 ? SF_FORMAT_PCM_16
                        : format.bits == 24 ? SF_FORMAT_PCM_24
                                            : SF_FORMAT_PCM_32;
    EXPECT_EQ(sound->info.format & SF_FORMAT_SUBMASK, subtype);
    EXPECT_TRUE(WavSizesMatchLength(folder / "take.wav"));

    if (!ToolAvailable("soxi")) GTEST_SKIP() << "soxi is not installed";
    const std::string file = (folder / "take.wav").string();
    int code = 0;
    EXPECT_EQ(RunTool("soxi -s '" + file + "'", &code), std::to_string(frames) + "\n");
    EXPECT_EQ(code, 0);
    EXPECT_EQ(RunTool("soxi -c '" + file + "'"), std::to_string(format.channels) + "\n");
    EXPECT_EQ(RunTool("soxi -r '" + file + "'"), std::to_string(format.rate) + "\n");
    EXPECT_EQ(RunTool("soxi -b '" + file + "'"), std::to_string(format.bits) + "\n");
}

INSTANTIATE_TEST_SUITE_P(Formats, RecordFormat,
                         testing::Values(Format{1, 8000, 8}, Format{2, 44100, 16},
                                         Format{1, 22050, 24}, Format{2, 48000, 32}));

TEST(Record, CtrlCStopsTheRecordingAndLeavesACompleteFile) {
    TempFolder folder;
    RunningSorvan recording({"record", "live.wav", "-c", "1", "-r", "8000"}, folder.path());
    // Wait for the first buffers to reach the file.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline &&
           (!std::filesystem::exists(folder / "live.wav") ||
            std::filesystem::file_size(folder / "live.wav") < 2000))
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    recording.Signal(SIGINT);
    const CliResult result = recording.Wait();

    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("stopped by Ctrl-C"), std::string::npos) << result.out;
    ASSERT_TRUE(WavSizesMatchLength(folder / "live.wav"));
    const auto sound = InspectSound(folder / "live.wav");
    ASSERT_TRUE(sound);
    EXPECT_GT(sound->info.frames, 900);
    EXPECT_EQ(static_cast<std::uintmax_t>(sound->info.frames) * 2 + 44,
              std::filesystem::file_size(folder / "live.wav"));
}

TEST(Record, ReplacesAnExistingFileOnlyWithForce) {
    TempFolder folder;
    WriteBytes(folder / "keep.wav", {std::byte{1}, std::byte{2}, std::byte{3}});

    const CliResult refused = RunSorvan({"record", "keep.wav", "-d", "0.1"}, folder.path());
    EXPECT_NE(refused.exitCode, 0);
    EXPECT_NE(refused.err.find("already exists"), std::string::npos) << refused.err;
    EXPECT_EQ(std::filesystem::file_size(folder / "keep.wav"), 3u);

    const CliResult forced =
        RunSorvan({"record", "keep.wav", "-d", "0.1", "--force"}, folder.path());
    EXPECT_EQ(forced.exitCode, 0) << forced.err;
    EXPECT_TRUE(WavSizesMatchLength(folder / "keep.wav"));
}

TEST(Record, ABusyDeviceLeavesNoFileAndKeepsTheOldOne) {
    TempFolder folder;
    const EnvVars busy{{"SORVAN_SIM_FAIL", "waveInOpen:4:9"}};
    const CliResult fresh = RunSorvan({"record", "new.wav", "-d", "0.1"}, folder.path(), busy);
    EXPECT_NE(fresh.exitCode, 0);
    EXPECT_NE(fresh.err.find("busy"), std::string::npos) << fresh.err;
    EXPECT_FALSE(std::filesystem::exists(folder / "new.wav"));

    WriteBytes(folder / "old.wav", {std::byte{7}});
    const CliResult forced =
        RunSorvan({"record", "old.wav", "-d", "0.1", "--force"}, folder.path(), busy);
    EXPECT_NE(forced.exitCode, 0);
    EXPECT_EQ(ReadBytes(folder / "old.wav"), std::vector<std::byte>{std::byte{7}});
}

}  // namespace

namespace {

// A private node of the device behind /dev/full (char 1,7), or nothing when
// this machine does not let us make one.
std::optional<std::filesystem::path> FullDevice(const TempFolder& folder) {
    const auto path = folder / "full";
    if (::mknod(path.c_str(), S_IFCHR | 0666, makedev(1, 7)) != 0) return std::nullopt;
    if (::access(path.c_str(), W_OK) != 0) return std::nullopt;
    return path;
}

}  // namespace

// A target that refuses the header is reported with the system's reason,
// and a path this run did not create is never removed.
TEST(Record, DeviceThatRefusesTheHeaderIsReportedAndKept) {
    TempFolder folder;
    const auto full = FullDevice(folder);
    if (!full) GTEST_SKIP() << "cannot make a device node here (not root?)";
    const CliResult result = RunSorvan({"record", "full", "-d", "0.2"}, folder.path());
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "sorvan: cannot write full: No space left on device\n");
    EXPECT_TRUE(std::filesystem::is_character_file(*full)) << "the device node was removed";
}

// At the end of one file the recording goes on in the next numbered one,
// with no frame lost or repeated between them.
TEST(Record, GoesOnIntoNumberedFilesWithoutLosingAFrame) {
    TempFolder folder;
    const CliResult result = RunSorvan(
        {"record", "take.wav", "-d", "1", "-r", "8000", "-c", "1", "--max-file-time", "0.3"},
        folder.path());
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("to take.wav, take-02.wav, take-03.wav, take-04.wav (4 files)"),
              std::string::npos)
        << result.out;
    std::vector<short> joined;
    for (const char* name : {"take.wav", "take-02.wav", "take-03.wav", "take-04.wav"}) {
        ASSERT_TRUE(WavSizesMatchLength(folder / name)) << name;
        const auto samples = DecodeShorts(folder / name);
        EXPECT_EQ(samples.size(), std::string(name) == "take-04.wav" ? 800u : 2400u) << name;
        joined.insert(joined.end(), samples.begin(), samples.end());
    }
    // The virtual input plays a 440 Hz sine at half scale from phase 0: a
    // lost or doubled frame at a file boundary puts every later one off.
    ASSERT_EQ(joined.size(), 8000u);
    int worst = 0;
    for (std::size_t n = 0; n < joined.size(); ++n) {
        const double expected = 0.5 * 32767 * std::sin(2 * std::numbers::pi * 440 * n / 8000.0);
        worst = std::max(worst, static_cast<int>(std::abs(joined[n] - expected)));
    }
    EXPECT_LE(worst, 2);

    const CliResult help = RunSorvan({"record", "--help"}, folder.path());
    EXPECT_NE(help.out.find("a WAV file holds at most 4 GiB"), std::string::npos) << help.out;
}

// A buffer that takes longer to fill than the silent-device watchdog's five
// seconds is not taken for a device that stopped.
TEST(Record, SlowBuffersAreNotTakenForADeadDevice) {
    TempFolder folder;
    const CliResult result = RunSorvan({"record", "slow.wav", "-r", "8000", "-c", "1", "-b", "8",
                                        "--buffer-size", "48000", "-d", "0.5"},
                                       folder.path());
    EXPECT_EQ(result.exitCode, 0) << result.err;
    const auto sound = InspectSound(folder / "slow.wav");
    ASSERT_TRUE(sound);
    EXPECT_EQ(sound->info.frames, 4000);
}

// Without SORVAN_AUDIO and without sound hardware nothing stands in for the
// microphone: every command that needs a device fails, and says why.
TEST(Record, WithoutSoundHardwareTheVirtualDevicesNeverStandInUnasked) {
    TempFolder folder;
    WriteBytes(folder / "empty.conf", {});
    const EnvVars noHardware{{"SORVAN_AUDIO", ""},
                             {"PULSE_SERVER", "unix:" + (folder / "no-server").string()},
                             {"ALSA_CONFIG_PATH", (folder / "empty.conf").string()}};
    // After the reasons of the drivers there are (no sound server answers).
    const std::string why = "; SORVAN_AUDIO=sim uses the built-in virtual devices";
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"record", "tone.wav", "-d", "0.1"},
          std::vector<std::string>{"record", "tone.wav", "-d", "0.1", "-D", "0"},
          std::vector<std::string>{"volume"}}) {
        const CliResult result = RunSorvan(args, folder.path(), noHardware);
        EXPECT_EQ(result.exitCode, 1) << args.front();
        EXPECT_NE(result.err.find("no sound device was found"), std::string::npos) << result.err;
        EXPECT_NE(result.err.find(why), std::string::npos) << result.err;
    }
    EXPECT_FALSE(std::filesystem::exists(folder / "tone.wav"));

    // Asked for by name, in any letter case: no notice.
    const CliResult asked = RunSorvan({"record", "tone3.wav", "-d", "0.1"}, folder.path(),
                                      {{"SORVAN_AUDIO", "SIM"}});
    EXPECT_EQ(asked.exitCode, 0) << asked.err;
    EXPECT_EQ(asked.err, "");
}

#ifdef SORVAN_ALSA_TEST_PCM
// With the alsa driver asked for, a default device held by another program
// is reported as busy, not as a machine without sound devices.
TEST(Record, BusyAlsaDefaultIsCalledBusy) {
    TempFolder folder;
    const std::string config = "pcm_type.sorvan_test { lib \"" SORVAN_ALSA_TEST_PCM "\" }\n"
                               "pcm.!default { type sorvan_test busy true }\n";
    WriteBytes(folder / "asound.conf",
               std::vector<std::byte>(reinterpret_cast<const std::byte*>(config.data()),
                                      reinterpret_cast<const std::byte*>(config.data() + config.size())));
    const CliResult result =
        RunSorvan({"record", "take.wav", "-d", "0.1"}, folder.path(),
                  {{"SORVAN_AUDIO", "alsa"}, {"ALSA_CONFIG_PATH", (folder / "asound.conf").string()}});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "sorvan: ALSA's \"default\" is busy (another program is using it)\n");
    EXPECT_FALSE(std::filesystem::exists(folder / "take.wav"));
}

// -D takes the ALSA names 'sorvan devices' lists; a device held elsewhere
// is listed and reported as busy.
TEST(Record, AlsaDevicesByName) {
    TempFolder folder;
    const std::string config =
        "pcm_type.sorvan_test { lib \"" SORVAN_ALSA_TEST_PCM "\" }\n"
        "pcm.mic { type sorvan_test hint { description \"mic\" } }\n"
        "pcm.taken { type sorvan_test busy true hint { description \"taken\" } }\n";
    WriteBytes(folder / "asound.conf",
               std::vector<std::byte>(reinterpret_cast<const std::byte*>(config.data()),
                                      reinterpret_cast<const std::byte*>(config.data() + config.size())));
    const EnvVars alsa{{"SORVAN_AUDIO", "alsa"},
                       {"ALSA_CONFIG_PATH", (folder / "asound.conf").string()}};
    const CliResult devices = RunSorvan({"devices"}, folder.path(), alsa);
    EXPECT_NE(devices.out.find("\"taken\""), std::string::npos) << devices.out;
    EXPECT_NE(devices.out.find("[busy]"), std::string::npos) << devices.out;

    const CliResult mic = RunSorvan({"record", "take.wav", "-d", "0.2", "-D", "mic"}, folder.path(), alsa);
    EXPECT_EQ(mic.exitCode, 0) << mic.err;
    EXPECT_NE(mic.out.find("\"mic\""), std::string::npos) << mic.out;
    const CliResult taken = RunSorvan({"record", "t2.wav", "-d", "0.2", "-D", "taken"}, folder.path(), alsa);
    EXPECT_EQ(taken.exitCode, 1);
    EXPECT_NE(taken.err.find("\"taken\" is busy"), std::string::npos) << taken.err;
}
#endif
