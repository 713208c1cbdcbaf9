#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <thread>

#include "CliRunner.h"
#include "SoundCheck.h"

namespace {

class PlaySoxFile : public testing::TestWithParam<std::string> {};

// What reached the virtual output, as 16-bit samples.
std::vector<short> PlayedShorts(const std::filesystem::path& played) {
    const auto bytes = ReadBytes(played);
    std::vector<short> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

// Where the sample bytes of a one-data-chunk WAV start (sox writes a longer
// header for 24-bit files).
std::size_t DataOffset(const std::vector<std::byte>& file) {
    for (std::size_t at = 12; at + 8 <= file.size();)
        if (std::memcmp(file.data() + at, "data", 4) == 0)
            return at + 8;
        else
            at += 8 + Le32At(file, at + 4);
    return file.size();
}

TEST_P(PlaySoxFile, TheVirtualOutputGetsLibsndfilesDecoding) {
    if (!ToolAvailable("sox")) GTEST_SKIP() << "sox is not installed";
    TempFolder folder;
    const std::string name = "tone." + GetParam();
    int code = 0;
    RunTool("sox -n -r 22050 -c 2 -b 16 '" + (folder / name).string() +
                "' synth 0.4 sine 300 sine 500 2>&1",
            &code);
    ASSERT_EQ(code, 0) << "sox cannot write " << GetParam();

    const CliResult result = RunSorvan({"play", name}, folder.path(),
                                       {{"SORVAN_SIM_PLAYED", (folder / "played.raw").string()}});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("22050 Hz, 2 channels, 16-bit"), std::string::npos) << result.out;

    const std::vector<short> decoded = DecodeShorts(folder / name);
    ASSERT_GT(decoded.size(), 22050u / 2);
    EXPECT_TRUE(PlayedShorts(folder / "played.raw") == decoded);
}

INSTANTIATE_TEST_SUITE_P(Containers, PlaySoxFile, testing::Values("wav", "flac", "ogg", "aiff"));

// A PCM WAV whose width the device takes is played byte for byte, 8-bit
// unsigned and packed 24-bit included.
TEST(Play, PcmWavBytesReachTheDeviceUnchanged) {
    if (!ToolAvailable("sox")) GTEST_SKIP() << "sox is not installed";
    for (const int bits : {8, 24}) {
        TempFolder folder;
        RunTool("sox -n -r 8000 -c 1 -b " + std::to_string(bits) + " '" +
                (folder / "t.wav").string() + "' synth 0.2 sine 440");
        const CliResult result =
            RunSorvan({"play", "t.wav"}, folder.path(),
                      {{"SORVAN_SIM_PLAYED", (folder / "played.raw").string()}});
        ASSERT_EQ(result.exitCode, 0) << result.err;
        const auto file = ReadBytes(folder / "t.wav");
        const std::vector<std::byte> data(file.begin() + DataOffset(file), file.end());
        EXPECT_EQ(ReadBytes(folder / "played.raw"), data) << bits << "-bit";
    }
}

TEST(Play, VolumeOptionHoldsOnlyWhilePlaying) {
    if (!ToolAvailable("sox")) GTEST_SKIP() << "sox is not installed";
    TempFolder folder;
    RunTool("sox -n -r 8000 -c 1 -b 16 '" + (folder / "t.wav").string() + "' synth 0.1 sine 440");
    const CliResult result = RunSorvan({"play", "t.wav", "--volume", "25%"}, folder.path());
    EXPECT_EQ(result.exitCode, 0) << result.err;
}

TEST(Play, CtrlCStopsPlaybackWithTheShellsInterruptCode) {
    if (!ToolAvailable("sox")) GTEST_SKIP() << "sox is not installed";
    TempFolder folder;
    RunTool("sox -n -r 8000 -c 1 -b 16 '" + (folder / "long.wav").string() + "' synth 20 sine 440");
    RunningSorvan playing({"play", "long.wav"}, folder.path());
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    playing.Signal(SIGINT);
    const CliResult result = playing.Wait();
    EXPECT_EQ(result.exitCode, 130);
    EXPECT_NE(result.err.find("stopped by Ctrl-C"), std::string::npos) << result.err;
}

TEST(DevicesAndVolume, ListTheVirtualDevicesAndSetTheVolume) {
    TempFolder folder;
    const CliResult devices = RunSorvan({"devices"}, folder.path());
    ASSERT_EQ(devices.exitCode, 0) << devices.err;
    EXPECT_NE(devices.out.find("\"Sim Input\""), std::string::npos) << devices.out;
    EXPECT_NE(devices.out.find("\"Sim Output\""), std::string::npos) << devices.out;
    EXPECT_NE(devices.out.find("[default]"), std::string::npos) << devices.out;
    EXPECT_NE(devices.out.find("virtual"), std::string::npos) << devices.out;

    const CliResult set = RunSorvan({"volume", "-D", "0", "50%"}, folder.path());
    ASSERT_EQ(set.exitCode, 0) << set.err;
    EXPECT_NE(set.out.find("volume 32768 (50%)"), std::string::npos) << set.out;
    const CliResult read = RunSorvan({"volume"}, folder.path());
    EXPECT_NE(read.out.find("volume 65535 (100%)"), std::string::npos)
        << "each run starts with fresh virtual devices: " << read.out;
}

TEST(Demo, RecordsAndPlaysBackOnTheVirtualDevices) {
    TempFolder folder;
    const CliResult result = RunSorvan({"demo", "-d", "0.5"}, folder.path());
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("virtual devices"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("recorded 0.50 s"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("played 0.50 s"), std::string::npos) << result.out;
}

}  // namespace
