#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "CliRunner.h"
#include "SoundCheck.h"

namespace {

// A recording as a crash leaves it: both size fields 0, the last frame cut.
void MakeUnfinished(const std::filesystem::path& path, std::size_t extraBytes) {
    auto bytes = ReadBytes(path);
    for (const std::size_t field : {4u, 40u})
        for (std::size_t i = 0; i < 4; ++i) bytes[field + i] = std::byte{0};
    bytes.resize(bytes.size() + extraBytes, std::byte{0x55});
    WriteBytes(path, bytes);
}

TEST(Repair, CompletesAnUnfinishedRecordingCountingWholeFramesAndKeepingEveryByte) {
    TempFolder folder;
    ASSERT_EQ(RunSorvan({"record", "crash.wav", "-d", "0.25", "-c", "2", "-r", "8000", "-b", "16"},
                        folder.path())
                  .exitCode,
              0);
    MakeUnfinished(folder / "crash.wav", 3);  // three bytes of a fourth-byte frame
    const auto before = ReadBytes(folder / "crash.wav");
    const CliResult played = RunSorvan({"play", "crash.wav"}, folder.path());
    EXPECT_EQ(played.exitCode, 0) << played.err;
    EXPECT_NE(played.err.find("sorvan repair"), std::string::npos) << played.err;
    EXPECT_NE(played.out.find("played crash.wav (0.25 s"), std::string::npos) << played.out;

    const CliResult result = RunSorvan({"repair", "crash.wav"}, folder.path());
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("last 3 bytes are part of a frame and stay"), std::string::npos)
        << result.out;
    const auto after = ReadBytes(folder / "crash.wav");
    ASSERT_EQ(after.size(), before.size()) << "no byte may be removed";
    EXPECT_TRUE(std::equal(after.begin() + 44, after.end(), before.begin() + 44));
    EXPECT_EQ(Le32At(after, 40), 8000u);
    EXPECT_EQ(Le32At(after, 4), 8036u);
    const auto sound = InspectSound(folder / "crash.wav");
    ASSERT_TRUE(sound);
    EXPECT_EQ(sound->info.frames, 2000);
    EXPECT_FALSE(sound->cutShort);

    // A second run finds nothing to do and changes nothing.
    const auto repaired = ReadBytes(folder / "crash.wav");
    const CliResult again = RunSorvan({"repair", "crash.wav"}, folder.path());
    EXPECT_EQ(again.exitCode, 0);
    EXPECT_NE(again.out.find("nothing to repair"), std::string::npos) << again.out;
    EXPECT_EQ(ReadBytes(folder / "crash.wav"), repaired);
}

TEST(Repair, FixesAFileCutShortAfterItWasCompleted) {
    TempFolder folder;
    ASSERT_EQ(RunSorvan({"record", "cut.wav", "-d", "0.25", "-c", "1", "-r", "8000", "-b", "16"},
                        folder.path())
                  .exitCode,
              0);
    std::filesystem::resize_file(folder / "cut.wav", 44 + 1001);
    // Played as far as it goes, with one warning.
    const CliResult played = RunSorvan({"play", "cut.wav"}, folder.path());
    EXPECT_EQ(played.exitCode, 0) << played.err;
    EXPECT_EQ(played.err, "sorvan: warning: cut.wav is truncated: it holds less audio than its "
                          "header says\n");
    EXPECT_NE(played.out.find("played cut.wav (0.06 s"), std::string::npos) << played.out;

    ASSERT_EQ(RunSorvan({"repair", "cut.wav"}, folder.path()).exitCode, 0);
    const auto bytes = ReadBytes(folder / "cut.wav");
    EXPECT_EQ(bytes.size(), 44u + 1001u);
    EXPECT_EQ(Le32At(bytes, 40), 1000u);
    EXPECT_EQ(Le32At(bytes, 4), 1036u);
}

TEST(Repair, LeavesAFileWithChunksAfterItsDataAlone) {
    if (!ToolAvailable("sox")) GTEST_SKIP() << "sox is not installed";
    TempFolder folder;
    RunTool("sox -n -r 8000 -c 1 -b 16 '" + (folder / "t.wav").string() + "' synth 0.1 sine 440");
    auto bytes = ReadBytes(folder / "t.wav");
    const std::uint32_t riff = Le32At(bytes, 4) + 12;
    for (const char c : std::string("LIST\4\0\0\0INFO", 12))
        bytes.push_back(static_cast<std::byte>(c));
    for (int i = 0; i < 4; ++i) bytes[4 + i] = static_cast<std::byte>(riff >> (8 * i));
    WriteBytes(folder / "t.wav", bytes);

    const CliResult result = RunSorvan({"repair", "t.wav"}, folder.path());
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(ReadBytes(folder / "t.wav"), bytes);
}

}  // namespace

namespace {

// A PCM WAV with one chunk of the given id and size between its format and
// its data, as a hostile or damaged file may have.
std::vector<std::byte> WavWithChunk(std::uint32_t chunkSize, std::size_t dataBytes) {
    std::vector<std::byte> bytes;
    const auto text = [&](const char* s) {
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::byte>(s[i]));
    };
    const auto u32 = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::byte>(v >> (8 * i)));
    };
    const auto u16 = [&](std::uint16_t v) {
        bytes.push_back(static_cast<std::byte>(v));
        bytes.push_back(static_cast<std::byte>(v >> 8));
    };
    text("RIFF"), u32(0), text("WAVE");
    text("fmt "), u32(16), u16(1), u16(1), u32(8000), u32(16000), u16(2), u16(16);
    text("junk"), u32(chunkSize), u32(0x12345678);
    text("data"), u32(0);
    bytes.resize(bytes.size() + dataBytes, std::byte{0x11});
    return bytes;
}

}  // namespace

// A chunk size near 4 GiB once made the chunk walk wrap around (and hang, or
// edit the wrong bytes); now it is a damaged file, left as it was.
TEST(Repair, ChunkSizesNear4GiBAreRefusedWithoutHangingOrWriting) {
    TempFolder folder;
    for (const std::uint32_t size : {0xFFFFFFF7u, 0xFFFFFFF8u, 0xFFFFFFF9u, 0xFFFFFFFCu, 0xFFFFFFFFu}) {
        const auto bytes = WavWithChunk(size, 1000);
        WriteBytes(folder / "odd.wav", bytes);
        const CliResult result =
            RunSorvan({"repair", "odd.wav"}, folder.path(), {}, {.timeout = std::chrono::seconds(10)});
        EXPECT_FALSE(result.timedOut) << std::hex << size;
        EXPECT_EQ(result.exitCode, 1) << std::hex << size;
        EXPECT_NE(result.err.find("runs past the end"), std::string::npos) << result.err;
        EXPECT_EQ(ReadBytes(folder / "odd.wav"), bytes) << std::hex << size;
    }
}

TEST(Repair, RefusesABlockAlignThatContradictsTheSampleFormat) {
    TempFolder folder;
    auto bytes = WavWithChunk(4, 40000);
    bytes[32] = std::byte{0x00};
    bytes[33] = std::byte{0x80};  // block align 0x8000 for 1 channel of 16 bits
    WriteBytes(folder / "odd.wav", bytes);
    const CliResult result = RunSorvan({"repair", "odd.wav"}, folder.path());
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("block align 32768 does not match 1 channels of 16 bits"),
              std::string::npos)
        << result.err;
    EXPECT_EQ(ReadBytes(folder / "odd.wav"), bytes);
}

// The data size written but not the RIFF size: a crash between the two writes.
TEST(Repair, CompletesAFileWhoseRiffSizeWasNeverWritten) {
    TempFolder folder;
    ASSERT_EQ(RunSorvan({"record", "half.wav", "-d", "0.1", "-c", "1", "-r", "8000", "-b", "16"},
                        folder.path())
                  .exitCode,
              0);
    auto bytes = ReadBytes(folder / "half.wav");
    for (int i = 0; i < 4; ++i) bytes[4 + i] = std::byte{0};
    WriteBytes(folder / "half.wav", bytes);

    const CliResult result = RunSorvan({"repair", "half.wav"}, folder.path());
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("repaired"), std::string::npos) << result.out;
    EXPECT_TRUE(WavSizesMatchLength(folder / "half.wav"));
}

// An empty data chunk followed by another chunk is a finished file, not an
// unfinished recording.
TEST(Repair, EmptyDataChunkFollowedByAChunkIsComplete) {
    TempFolder folder;
    auto bytes = WavWithChunk(4, 0);
    for (const char c : std::string("LIST\4\0\0\0INFO", 12)) bytes.push_back(static_cast<std::byte>(c));
    const std::uint32_t riff = static_cast<std::uint32_t>(bytes.size() - 8);
    for (int i = 0; i < 4; ++i) bytes[4 + i] = static_cast<std::byte>(riff >> (8 * i));
    WriteBytes(folder / "empty.wav", bytes);

    const CliResult repaired = RunSorvan({"repair", "empty.wav"}, folder.path());
    EXPECT_EQ(repaired.exitCode, 0) << repaired.err;
    EXPECT_NE(repaired.out.find("nothing to repair"), std::string::npos) << repaired.out;
    EXPECT_EQ(ReadBytes(folder / "empty.wav"), bytes);

    const CliResult played = RunSorvan({"play", "empty.wav"}, folder.path());
    EXPECT_NE(played.err.find("holds no audio"), std::string::npos) << played.err;
    EXPECT_EQ(played.err.find("unfinished"), std::string::npos) << played.err;
}

// An unfinished recording longer than a WAV file can describe (a sparse
// file: nothing is written to disk): the sizes count what they can, and the
// rest stays in the file.
TEST(Repair, KeepsAudioPastTheLargestWavSize) {
    TempFolder folder;
    const auto path = folder / "long.wav";
    WriteBytes(path, WavWithChunk(4, 0));
    const std::uint64_t dataOffset = std::filesystem::file_size(path);
    const std::uint64_t length = dataOffset + 0x100000000ull + 1000;
    std::filesystem::resize_file(path, length);

    const CliResult result = RunSorvan({"repair", "long.wav"}, folder.path());
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(std::filesystem::file_size(path), length) << "no byte may be removed";
    EXPECT_NE(result.out.find("lie past the 4 GiB a WAV file can describe"), std::string::npos)
        << result.out;
    std::ifstream in(path, std::ios::binary);
    unsigned char riff[4];
    in.seekg(4).read(reinterpret_cast<char*>(riff), 4);
    const std::uint32_t riffSize = riff[0] | riff[1] << 8 | riff[2] << 16 | std::uint32_t{riff[3]} << 24;
    EXPECT_GE(riffSize, 0xFFFFFFF0u);
    EXPECT_EQ((riffSize + 8 - dataOffset) % 2, 0u) << "whole frames";
}
