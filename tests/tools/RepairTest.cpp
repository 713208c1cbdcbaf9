#include <gtest/gtest.h>

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

TEST(Repair, CompletesAnUnfinishedRecordingWithWholeFramesOnly) {
    TempFolder folder;
    ASSERT_EQ(RunSorvan({"record", "crash.wav", "-d", "0.25", "-c", "2", "-r", "8000", "-b", "16"},
                        folder.path())
                  .exitCode,
              0);
    MakeUnfinished(folder / "crash.wav", 3);  // three bytes of a fourth-byte frame
    EXPECT_NE(RunSorvan({"play", "crash.wav"}, folder.path()).err.find("sorvan repair"),
              std::string::npos);

    const CliResult result = RunSorvan({"repair", "crash.wav"}, folder.path());
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("3 trailing bytes dropped"), std::string::npos) << result.out;
    EXPECT_TRUE(WavSizesMatchLength(folder / "crash.wav"));
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
    ASSERT_NE(RunSorvan({"play", "cut.wav"}, folder.path()).exitCode, 0);

    ASSERT_EQ(RunSorvan({"repair", "cut.wav"}, folder.path()).exitCode, 0);
    EXPECT_TRUE(WavSizesMatchLength(folder / "cut.wav"));
    EXPECT_EQ(std::filesystem::file_size(folder / "cut.wav"), 44u + 1000u);
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
