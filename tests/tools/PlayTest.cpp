#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <thread>

#include <algorithm>
#include <cstdint>

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

// A FIFO nobody writes to yet: the wait for its writer ends at Ctrl-C.
TEST(Play, CtrlCEndsTheWaitForAFifoThatNobodyWritesTo) {
    TempFolder folder;
    const auto fifo = folder.path() / "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    RunningSorvan playing({"play", "fifo"}, folder.path());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    playing.Signal(SIGINT);
    const CliResult result = playing.Wait(std::chrono::seconds(5));
    ASSERT_FALSE(result.timedOut) << "still waiting for a writer after Ctrl-C";
    EXPECT_EQ(result.exitCode, 130);
    EXPECT_NE(result.err.find("stopped by Ctrl-C while waiting for a program to write to fifo"),
              std::string::npos)
        << result.err;
}

// A writer that puts a short sound into a FIFO and leaves at once, before the
// player has read it: the sound waits in the FIFO and is played whole.
TEST(Play, AShortSoundLeftInAFifoPlaysWhole) {
    if (!ToolAvailable("sox")) GTEST_SKIP() << "sox is not installed";
    TempFolder folder;
    const auto wav = folder.path() / "short.wav";
    RunTool("sox -n -r 8000 -c 1 -b 16 '" + wav.string() + "' synth 0.2 sine 440");
    const auto fifo = folder.path() / "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::thread writer([&] {
        const std::vector<std::byte> bytes = ReadBytes(wav);
        WriteBytes(fifo, bytes);  // opening waits for the player; the write fits in the FIFO
    });
    const CliResult result = RunSorvan({"play", "fifo"}, folder.path(),
                                       {{"SORVAN_SIM_PLAYED", (folder / "played.raw").string()}},
                                       {.timeout = std::chrono::seconds(10)});
    writer.join();
    ASSERT_FALSE(result.timedOut) << "the player waited for a writer that had left";
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const std::vector<std::byte> file = ReadBytes(wav);
    const std::vector<std::byte> played = ReadBytes(folder / "played.raw");
    const std::size_t offset = DataOffset(file);
    EXPECT_TRUE(std::equal(file.begin() + static_cast<std::ptrdiff_t>(offset), file.end(),
                           played.begin(), played.end()));
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
    EXPECT_NE(set.out.find("volume 50 % (raw 32768)"), std::string::npos) << set.out;
    EXPECT_NE(set.out.find("forget it when this program ends"), std::string::npos) << set.out;
    const CliResult plain = RunSorvan({"volume", "25"}, folder.path());
    EXPECT_NE(plain.out.find("volume 25 % (raw 16384)"), std::string::npos)
        << "a plain number is a percentage: " << plain.out;
    const CliResult raw = RunSorvan({"volume", "raw:40000"}, folder.path());
    EXPECT_NE(raw.out.find("(raw 40000)"), std::string::npos) << raw.out;
    const CliResult read = RunSorvan({"volume"}, folder.path());
    EXPECT_NE(read.out.find("volume 100 % (raw 65535)"), std::string::npos)
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

namespace {

// The largest absolute sample among 32-bit little-endian samples.
double PeakOf32BitSamples(const std::vector<std::byte>& bytes) {
    std::int64_t peak = 0;
    for (std::size_t at = 0; at + 4 <= bytes.size(); at += 4) {
        std::int32_t sample = 0;
        std::memcpy(&sample, bytes.data() + at, 4);
        peak = std::max<std::int64_t>(peak, std::abs(static_cast<std::int64_t>(sample)));
    }
    return static_cast<double>(peak) / 2147483648.0;
}

}  // namespace

// Float samples are scaled to full scale, not cut to 0 and 1.
TEST(Play, FloatWavPlaysAtItsOwnLevel) {
    if (!ToolAvailable("sox")) GTEST_SKIP() << "sox is not installed";
    TempFolder folder;
    RunTool("sox -n -r 8000 -c 1 -e floating-point -b 32 '" + (folder / "float.wav").string() +
            "' synth 0.2 sine 440 vol 0.5");
    const CliResult result = RunSorvan({"play", "float.wav"}, folder.path(),
                                       {{"SORVAN_SIM_PLAYED", (folder / "played.raw").string()}});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("peak -6.0 dBFS"), std::string::npos) << result.out;
    EXPECT_NEAR(PeakOf32BitSamples(ReadBytes(folder / "played.raw")), 0.5, 0.01);
}

// A header may claim any rate: what is allocated follows what the file holds.
TEST(Play, AHugeClaimedRateTakesNoHugeMemory) {
    TempFolder folder;
    std::vector<std::byte> bytes;
    const auto put = [&](std::uint32_t value, int size) {
        for (int i = 0; i < size; ++i) bytes.push_back(static_cast<std::byte>(value >> (8 * i)));
    };
    const auto text = [&](const char* s) { put(s[0] | s[1] << 8 | s[2] << 16 | s[3] << 24, 4); };
    text("RIFF"), put(836, 4), text("WAVE"), text("fmt "), put(16, 4), put(1, 2), put(1, 2);
    put(2147483647u, 4), put(2147483647u, 4), put(1, 2), put(8, 2), text("data"), put(800, 4);
    bytes.resize(844, std::byte{0x80});
    WriteBytes(folder / "fast.wav", bytes);

    const CliResult result = RunSorvan({"play", "fast.wav"}, folder.path());
    EXPECT_EQ(result.signal, 0);
    EXPECT_LT(result.maxResidentKiB, 200 * 1024) << result.err;
}

// Several files play one after the other; stdin is "-".
TEST(Play, SeveralFilesInOrderAndStdin) {
    if (!ToolAvailable("sox")) GTEST_SKIP() << "sox is not installed";
    TempFolder folder;
    RunTool("sox -n -r 8000 -c 1 -b 16 '" + (folder / "a.wav").string() + "' synth 0.1 sine 300");
    RunTool("sox -n -r 8000 -c 1 -b 16 '" + (folder / "b.flac").string() + "' synth 0.2 sine 500");
    const CliResult result =
        RunSorvan({"play", "a.wav", "b.flac"}, folder.path(),
                  {{"SORVAN_SIM_PLAYED", (folder / "played.raw").string()}});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const auto a = result.out.find("played a.wav (0.10 s");
    const auto b = result.out.find("played b.flac (0.20 s");
    ASSERT_NE(a, std::string::npos) << result.out;
    ASSERT_NE(b, std::string::npos) << result.out;
    EXPECT_LT(a, b);
    auto expected = DecodeShorts(folder / "a.wav");
    const auto second = DecodeShorts(folder / "b.flac");
    expected.insert(expected.end(), second.begin(), second.end());
    EXPECT_TRUE(PlayedShorts(folder / "played.raw") == expected);

    const CliResult piped = RunSorvan({"play", "-"}, folder.path(),
                                      {{"SORVAN_SIM_PLAYED", (folder / "piped.raw").string()}},
                                      {.stdinFrom = folder / "a.wav"});
    ASSERT_EQ(piped.exitCode, 0) << piped.err;
    EXPECT_NE(piped.out.find("played stdin (0.10 s"), std::string::npos) << piped.out;
    EXPECT_TRUE(PlayedShorts(folder / "piped.raw") == DecodeShorts(folder / "a.wav"));
}

// An MP3's length is an estimate: the file is played to its end, quietly.
TEST(Play, Mp3PlaysToItsEndWithoutComplaint) {
    if (!ToolAvailable("sox")) GTEST_SKIP() << "sox is not installed";
    TempFolder folder;
    int code = 0;
    RunTool("sox -n -r 44100 -c 2 '" + (folder / "t.mp3").string() + "' synth 0.5 sine 440 2>&1",
            &code);
    if (code != 0) GTEST_SKIP() << "sox cannot write MP3 here";
    const CliResult result = RunSorvan({"play", "t.mp3"}, folder.path());
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
}

// A file libsndfile hands to its MPEG decoder but that holds no audio gets
// one line of ours, with a reason that fits a file that exists.
TEST(Play, UndecodableMpegGetsOneLineOfOurOwn) {
    TempFolder folder;
    std::vector<std::byte> bytes;
    for (const char c : std::string("ID3\x03\0\0\0\0\0\x10", 10)) bytes.push_back(static_cast<std::byte>(c));
    bytes.resize(4000, std::byte{0xFF});
    WriteBytes(folder / "noise.mp3", bytes);
    const CliResult result = RunSorvan({"play", "noise.mp3"}, folder.path());
    EXPECT_NE(result.exitCode, 0);
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    EXPECT_TRUE(result.err.starts_with("sorvan: ")) << result.err;
    EXPECT_EQ(result.err.find("does not exist"), std::string::npos) << result.err;
}

// Ctrl-C reports the time played: blocks the closing reset hands back were
// never heard and are not counted.
TEST(Play, CtrlCReportsTheTimeReallyPlayed) {
    if (!ToolAvailable("sox")) GTEST_SKIP() << "sox is not installed";
    TempFolder folder;
    RunTool("sox -n -r 8000 -c 1 -b 16 '" + (folder / "long.wav").string() + "' synth 20 sine 440");
    RunningSorvan playing({"play", "long.wav"}, folder.path(),
                          {{"SORVAN_SIM_PLAYED", (folder / "played.raw").string()}});
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    playing.Signal(SIGINT);
    const CliResult result = playing.Wait();
    ASSERT_EQ(result.exitCode, 130);
    const auto at = result.err.find("after ");
    ASSERT_NE(at, std::string::npos) << result.err;
    const double reported = std::stod(result.err.substr(at + 6));
    const double played = static_cast<double>(std::filesystem::file_size(folder / "played.raw")) / 16000.0;
    EXPECT_LE(reported, played + 0.001);
    EXPECT_GE(reported, played - 0.1) << "at most one block short";
}

TEST(Play, SigtermIsNotCalledCtrlC) {
    if (!ToolAvailable("sox")) GTEST_SKIP() << "sox is not installed";
    TempFolder folder;
    RunTool("sox -n -r 8000 -c 1 -b 16 '" + (folder / "long.wav").string() + "' synth 20 sine 440");
    RunningSorvan playing({"play", "long.wav"}, folder.path());
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    playing.Signal(SIGTERM);
    const CliResult result = playing.Wait();
    EXPECT_EQ(result.exitCode, 143);
    EXPECT_NE(result.err.find("stopped by SIGTERM"), std::string::npos) << result.err;
    EXPECT_EQ(result.err.find("Ctrl-C"), std::string::npos) << result.err;
}

// Every device 'sorvan devices' lists can be chosen, by number or by name,
// and the messages name it by its own number.
TEST(Play, EveryListedDeviceCanBeChosenByNumberOrName) {
    if (!ToolAvailable("sox")) GTEST_SKIP() << "sox is not installed";
    TempFolder folder;
    RunTool("sox -n -r 8000 -c 1 -b 16 '" + (folder / "t.wav").string() + "' synth 0.1 sine 440");
    const EnvVars twelve{{"SORVAN_SIM_DEVICES", "12"}};
    const CliResult devices = RunSorvan({"devices"}, folder.path(), twelve);
    EXPECT_NE(devices.out.find("  11  \"Sim Output 12\""), std::string::npos) << devices.out;
    EXPECT_NE(devices.out.find("   0  \"Sim Output\""), std::string::npos)
        << "numbers line up: " << devices.out;

    const CliResult busy = RunSorvan({"devices"}, folder.path(), {{"SORVAN_SIM_FAIL", "waveInOpen:4:999"}});
    EXPECT_NE(busy.out.find("[busy]"), std::string::npos) << busy.out;

    for (const std::string choice : {"11", "Sim Output 12"}) {
        const CliResult result = RunSorvan({"play", "-D", choice, "t.wav"}, folder.path(), twelve);
        EXPECT_EQ(result.exitCode, 0) << choice << ": " << result.err;
        EXPECT_NE(result.out.find("on output device 11 \"Sim Output 12\""), std::string::npos)
            << "named as chosen, not as the default device: " << result.out;
    }
}

// Only missing audio is called truncated: a header field libsndfile
// corrects (bytes per second) is not, while a WAV or AIFF cut short still is.
TEST(Play, OnlyMissingAudioIsCalledTruncated) {
    if (!ToolAvailable("sox")) GTEST_SKIP() << "sox is not installed";
    TempFolder folder;
    for (const std::string type : {"wav", "aiff"})
        RunTool("sox -n -r 8000 -c 1 -b 16 '" + (folder / ("t." + type)).string() +
                "' synth 0.5 sine 440");
    auto wav = ReadBytes(folder / "t.wav");
    ASSERT_EQ(Le32At(wav, 28), 16000u);
    wav[28] = std::byte{0x12};  // bytes per second
    WriteBytes(folder / "fields.wav", wav);
    const CliResult fields = RunSorvan({"play", "fields.wav"}, folder.path());
    EXPECT_EQ(fields.exitCode, 0) << fields.err;
    EXPECT_EQ(fields.err, "");

    for (const std::string type : {"wav", "aiff"}) {
        auto bytes = ReadBytes(folder / ("t." + type));
        bytes.resize(bytes.size() / 2);
        WriteBytes(folder / ("cut." + type), bytes);
        const CliResult cut = RunSorvan({"play", "cut." + type}, folder.path());
        EXPECT_EQ(cut.exitCode, 0) << cut.err;
        EXPECT_NE(cut.err.find("is truncated"), std::string::npos) << type << ": " << cut.err;
    }
}

// An output that played nothing leaves nothing in SORVAN_SIM_PLAYED and no
// undefined behaviour at exit (a null pointer passed to fwrite): under the
// sanitizer build (scripts/test.sh --sanitize) such a run used to abort.
TEST(Play, AnOutputThatPlayedNothingLeavesTheHookFileWhole) {
    TempFolder folder;
    const CliResult recorded = RunSorvan({"record", "-q", "-d", "100ms", "t.wav"}, folder.path());
    ASSERT_EQ(recorded.exitCode, 0) << recorded.err;
    const EnvVars hooks = {{"SORVAN_SIM_DEVICES", "2"},
                           {"SORVAN_SIM_PLAYED", (folder / "played.raw").string()}};
    // Device 0 plays nothing, device 1 the file.
    const CliResult result = RunSorvan({"play", "-q", "-D", "1", "t.wav"}, folder.path(), hooks);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err.find("runtime error"), std::string::npos) << result.err;
    const auto wav = ReadBytes(folder / "t.wav");
    EXPECT_EQ(ReadBytes(folder / "played.raw"),
              std::vector<std::byte>(wav.begin() + 44, wav.end()));
    // No output plays anything: the file is there, and empty.
    const CliResult none = RunSorvan({"devices"}, folder.path(), hooks);
    EXPECT_EQ(none.exitCode, 0) << none.err;
    EXPECT_EQ(none.err.find("runtime error"), std::string::npos) << none.err;
    EXPECT_TRUE(ReadBytes(folder / "played.raw").empty());
}
