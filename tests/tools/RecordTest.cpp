#include <gtest/gtest.h>

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
