// Every kind of bad input gets one line on stderr naming the problem, a
// non-zero exit code, no crash, and no recording file left behind.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>

#include "CliRunner.h"

namespace {

struct BadInput {
    std::vector<std::string> args;
    std::string message;  // a part of the one line on stderr
    EnvVars env = {};
};

void PrintTo(const BadInput& input, std::ostream* out) {
    for (const auto& arg : input.args) *out << arg << ' ';
}

// Files every case may name: a truncated WAV, a truncated FLAC, text, an
// empty file, a four-channel file the stereo virtual device refuses.
void MakeFiles(const TempFolder& folder) {
    const auto sox = [&](const std::string& args, const std::string& name) {
        RunTool("sox -n " + args + " '" + (folder / name).string() + "' synth 0.5 sine 440 2>&1");
    };
    sox("-r 8000 -c 1 -b 16", "whole.wav");
    sox("-r 44100 -c 2 -b 16", "whole.flac");
    sox("-r 8000 -c 4 -b 16", "quad.wav");
    auto wav = ReadBytes(folder / "whole.wav");
    wav.resize(wav.size() / 2);
    WriteBytes(folder / "truncated.wav", wav);
    auto flac = ReadBytes(folder / "whole.flac");
    flac.resize(flac.size() / 2);
    WriteBytes(folder / "truncated.flac", flac);
    const std::string text = "These are notes, not sound.\n";
    WriteBytes(
        folder / "notes.wav",
        std::vector<std::byte>(reinterpret_cast<const std::byte*>(text.data()),
                               reinterpret_cast<const std::byte*>(text.data() + text.size())));
    WriteBytes(folder / "empty.wav", {});
    WriteBytes(folder / "existing.wav", {std::byte{1}});
}

class RefusesBadInput : public testing::TestWithParam<BadInput> {};

TEST_P(RefusesBadInput, WithOneClearLineAndNoFileLeft) {
    if (!ToolAvailable("sox")) GTEST_SKIP() << "sox is not installed";
    TempFolder folder;
    MakeFiles(folder);
    const auto before = std::distance(std::filesystem::directory_iterator(folder.path()), {});

    const CliResult result = RunSorvan(GetParam().args, folder.path(), GetParam().env);

    EXPECT_EQ(result.signal, 0) << "crashed";
    EXPECT_GT(result.exitCode, 0);
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    EXPECT_TRUE(result.err.starts_with("sorvan: ")) << result.err;
    EXPECT_NE(result.err.find(GetParam().message), std::string::npos) << result.err;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), before)
        << "a file was left behind";
    EXPECT_EQ(ReadBytes(folder / "existing.wav"), std::vector<std::byte>{std::byte{1}});
}

const EnvVars BusyInput{{"SORVAN_SIM_FAIL", "waveInOpen:4:9"}};
const EnvVars BusyOutput{{"SORVAN_SIM_FAIL", "waveOutOpen:4:9"}};

INSTANTIATE_TEST_SUITE_P(
    Files, RefusesBadInput,
    testing::Values(
        BadInput{{"play", "missing.wav"}, "missing.wav: No such file or directory"},
        BadInput{{"play", "notes.wav"}, "notes.wav is not an audio file"},
        BadInput{{"play", "empty.wav"}, "empty.wav is not an audio file"},
        BadInput{{"play", "."}, "is a folder"},
        BadInput{{"play", "quad.wav"}, "does not take 8000 Hz, 4 channels, 16-bit"},
        BadInput{{"play", "whole.wav"}, "is busy", BusyOutput},
        BadInput{{"repair", "notes.wav"}, "notes.wav is not a WAV file"},
        BadInput{{"repair", "whole.flac"}, "whole.flac is not a WAV file"},
        BadInput{{"repair", "missing.wav"}, "No such file or directory"},
        BadInput{{"record", "existing.wav", "-d", "0.1"}, "already exists; use --force"},
        BadInput{{"record", "existing.wav", "-d", "0.1", "--force"}, "is busy", BusyInput},
        BadInput{{"record", "new.wav", "-d", "0.1"}, "is busy", BusyInput},
        BadInput{{"record", "no/such/folder/new.wav", "-d", "0.1"}, "cannot write"},
        BadInput{{"record", "existing.wav/new.wav", "-d", "0.1"}, "Not a directory"},
        BadInput{{"record", ".", "-d", "0.1"}, "is a folder"}));

INSTANTIATE_TEST_SUITE_P(
    Numbers, RefusesBadInput,
    testing::Values(
        BadInput{{"record", "new.wav", "-d", "0"}, "more than 0 seconds"},
        BadInput{{"record", "new.wav", "-d", "-2"}, "more than 0 seconds"},
        BadInput{{"record", "new.wav", "-d", "soon"}, "'soon' is not a duration"},
        BadInput{{"record", "new.wav", "-d", "1e300"}, "too long"},
        BadInput{{"record", "new.wav", "-d", "nan"}, "is not a duration"},
        BadInput{{"record", "new.wav", "-d", "1:60"}, "is not a duration"},
        BadInput{{"record", "new.wav", "-d", "1.5:30"}, "is not a duration"},
        BadInput{{"record", "-", "-d", "80000", "-r", "768000", "-c", "32", "-b", "32"},
                 "can be at most"},
        BadInput{{"record", "new.wav", "--max-file-time", "0"}, "more than 0 seconds"},
        BadInput{{"record", "new.wav", "-r", "0"}, "0 is out of range"},
        BadInput{{"record", "new.wav", "-r", "-44100"}, "-44100 is out of range"},
        BadInput{{"record", "new.wav", "-r", "99999999999999999999"}, "out of range"},
        BadInput{{"record", "new.wav", "-r", "44.1x"}, "'44.1x' is not a rate"},
        BadInput{{"record", "new.wav", "-r", "4410.5"}, "is not a whole number of Hz"},
        BadInput{{"record", "new.wav", "-r", "44.1005k"}, "is not a whole number of Hz"},
        BadInput{{"record", "new.wav", "-r", "0.5k"}, "0.5k is out of range"},
        BadInput{{"record", "new.wav", "-f", "S24_LE"}, "'S24_LE' is not one a wave device takes"},
        BadInput{{"record", "new.wav", "-f", "FLOAT_LE"}, "U8, S16_LE, S24_3LE, S32_LE"},
        BadInput{{"record", "new.mp4", "-d", "0.1"}, "cannot tell the file type"},
        BadInput{{"record", "new.wav", "-t", "mp3", "-d", "0.1"}, "'mp3' is no file type"},
        BadInput{{"record", "new.flac", "-b", "32", "-d", "0.1"}, "does not take"},
        BadInput{{"record", "-", "-t", "flac", "-d", "0.1"}, "only WAV and raw audio"},
        BadInput{{"record", "new.wav", "-c", "0"}, "0 is out of range"},
        BadInput{{"record", "new.wav", "-b", "12"}, "12-bit samples are not supported"},
        BadInput{{"record", "new.wav", "--buffers", "10"}, "10 is out of range (1 to 9)"},
        BadInput{{"record", "new.wav", "--buffer-size", "8"}, "8 is out of range"},
        BadInput{{"record", "new.wav", "-D", "7"}, "there is no input device 7 (the only one is 0;"},
        BadInput{{"record", "new.wav", "-D", "mic"}, "no input device named 'mic'"},
        BadInput{{"play", "whole.wav", "-D", "3"}, "there is no output device 3"},
        BadInput{{"play", "whole.wav", "--volume", "150%"}, "150% is out of range"},
        BadInput{{"volume", "101"}, "101 is out of range (0 to 100 %"},
        BadInput{{"volume", "raw:65536"}, "raw:65536 is out of range"},
        BadInput{{"volume", "raw:loud"}, "'raw:loud' is not a raw volume"},
        BadInput{{"volume", "loud"}, "'loud' is not a volume"},
        BadInput{{"volume", "-D", "4"}, "there is no output device 4"},
        BadInput{{"record"}, "FILE is required"}, BadInput{{"juggle"}, "juggle"}));

// The driver named in SORVAN_AUDIO must exist; letter case does not matter.
INSTANTIATE_TEST_SUITE_P(
    Drivers, RefusesBadInput,
    testing::Values(BadInput{{"devices"}, "SORVAN_AUDIO=als names no audio driver (use auto, ", {{"SORVAN_AUDIO", "als"}}},
                    BadInput{{"play", "whole.wav"}, "sim", {{"SORVAN_AUDIO", "simm"}}}));

}  // namespace
