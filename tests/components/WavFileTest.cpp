// The recording file writer: its header, its completion, and files that stay
// valid for other readers when the disk refuses bytes or the size limit is met.
#include "components/WavFile.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <future>
#include <numeric>
#include <string>

#include "WaveFiles.h"

namespace {

using namespace wavefiles;

std::vector<char> Ramp(std::size_t size, int start = 0) {
    std::vector<char> bytes(size);
    std::iota(bytes.begin(), bytes.end(), static_cast<char>(start));
    return bytes;
}

void ExpectCompleteFile(const std::filesystem::path& path, const std::vector<char>& data) {
    const auto bytes = Bytes(path);
    ASSERT_EQ(bytes.size(), WavHeaderSize + data.size());
    EXPECT_EQ(U32(bytes, 40), data.size());
    EXPECT_EQ(U32(bytes, 4), data.size() + 36);
    const auto read = ReadWithSndfile(path);
    ASSERT_TRUE(read.has_value()) << sf_strerror(nullptr);
    EXPECT_EQ(read->data, data);
}

}  // namespace

TEST(WavHeader, DefaultFormatByteForByte) {
    const std::array<std::uint8_t, 44> expected = {
        0x52, 0x49, 0x46, 0x46, 0x00, 0x00, 0x00, 0x00, 0x57, 0x41, 0x56, 0x45, 0x66, 0x6d, 0x74,
        0x20, 0x10, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x40, 0x1f, 0x00, 0x00, 0x40, 0x1f,
        0x00, 0x00, 0x01, 0x00, 0x08, 0x00, 0x64, 0x61, 0x74, 0x61, 0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(WavHeader(1, 8000, 8), expected);
}

TEST(WavHeader, FormatFieldsFollowThePropertyArithmetic) {
    const auto field16 = [](const auto& h, std::size_t at) { return h[at] | h[at + 1] << 8; };
    const auto field32 = [&](const auto& h, std::size_t at) {
        return static_cast<std::uint32_t>(field16(h, at) | field16(h, at + 2) << 16);
    };

    const auto stereo16 = WavHeader(2, 44100, 16);
    EXPECT_EQ(field16(stereo16, 22), 2);
    EXPECT_EQ(field32(stereo16, 24), 44100u);
    EXPECT_EQ(field32(stereo16, 28), 4u * 44100);
    EXPECT_EQ(field16(stereo16, 32), 4);
    EXPECT_EQ(field16(stereo16, 34), 16);

    const auto twelve = WavHeader(1, 11025, 12);
    EXPECT_EQ(field16(twelve, 32), 1);
    EXPECT_EQ(field32(twelve, 28), 11025u);
    EXPECT_EQ(field16(twelve, 34), 12);

    // -12 / 8 rounds toward zero to -1, kept to 16 bits.
    const auto negative = WavHeader(-1, 10, 12);
    EXPECT_EQ(field16(negative, 22), 0xFFFF);
    EXPECT_EQ(field16(negative, 32), 0xFFFF);
    EXPECT_EQ(field32(negative, 28), 10u * 0xFFFF);
}

TEST(WavFile, CompletedFileHoldsExactlyTheAppendedBytes) {
    ScratchFolder folder;
    const auto path = folder / "take.wav";
    const auto data = Ramp(3 * 2048);
    {
        WavFile file;
        ASSERT_TRUE(file.Create(path, 1, 8000, 8));
        EXPECT_EQ(Bytes(path).size(), WavHeaderSize);
        file.Append(std::span(data).first(2048));
        file.Append({});
        file.Append(std::span(data).subspan(2048, 2048));
        file.Append(std::span(data).subspan(4096));
        EXPECT_EQ(U32(Bytes(path), 40), 0u) << "sizes are written on completion only";
        file.Complete();
        EXPECT_FALSE(file.IsOpen());
        file.Complete();
    }
    ExpectCompleteFile(path, data);
    if (!SoxiAvailable()) GTEST_SKIP() << "soxi not found at configure time";
    EXPECT_EQ(SoxiSamples(path), 3 * 2048);
}

TEST(WavFile, DestructionCompletesAnOpenFile) {
    ScratchFolder folder;
    const auto path = folder / "take.wav";
    const auto data = Ramp(100);
    {
        WavFile file;
        ASSERT_TRUE(file.Create(path, 2, 22050, 16));
        file.Append(data);
    }
    ExpectCompleteFile(path, data);
}

TEST(WavFile, CreationReplacesAnExistingFileAndFailsQuietlyWithoutAFolder) {
    ScratchFolder folder;
    const auto path = folder / "take.wav";
    std::ofstream(path) << std::string(10000, 'x');
    WavFile file;
    ASSERT_TRUE(file.Create(path, 1, 8000, 8));
    file.Complete();
    ExpectCompleteFile(path, {});

    const auto missing = folder / "no-such-folder" / "take.wav";
    EXPECT_FALSE(file.Create(missing, 1, 8000, 8));
    EXPECT_FALSE(file.IsOpen());
    file.Append(Ramp(16));
    file.Complete();
    EXPECT_FALSE(std::filesystem::exists(missing));
}

TEST(WavFile, StopsGrowingWhereTheRiffSizeWouldPassItsLimit) {
    ScratchFolder folder;
    const auto path = folder / "take.wav";
    const auto data = Ramp(160);
    // A limit of 36 + 100 data bytes stands in for 4 GiB - 1.
    WavFile file(36 + 100);
    ASSERT_TRUE(file.Create(path, 1, 8000, 8));
    file.Append(std::span(data).first(50));
    file.Append(std::span(data).subspan(50, 50));  // exactly at the limit
    EXPECT_FALSE(file.Stopped());
    file.Append(std::span(data).subspan(100, 1));
    EXPECT_TRUE(file.Stopped());
    file.Append(std::span(data).subspan(101, 1));  // nothing after the stop, not even what fits
    EXPECT_EQ(file.DataSize(), 100u);
    file.Complete();
    ExpectCompleteFile(path, std::vector<char>(data.begin(), data.begin() + 100));

    // The next file starts again from nothing.
    ASSERT_TRUE(file.Create(path, 1, 8000, 8));
    EXPECT_FALSE(file.Stopped());
    file.Append(std::span(data).first(10));
    file.Complete();
    ExpectCompleteFile(path, std::vector<char>(data.begin(), data.begin() + 10));
}

TEST(WavFile, RefusedWritesCountOnlyTheStoredBytes) {
    ScratchFolder folder;
    const auto path = folder / "take.wav";
    const auto data = Ramp(3 * 4096);
    WavFile file;
    {
        FileSizeLimit limit(WavHeaderSize + 5000);
        ASSERT_TRUE(file.Create(path, 1, 8000, 8));
        file.Append(std::span(data).first(4096));
        file.Append(std::span(data).subspan(4096, 4096));  // cut short at the limit
        file.Append(std::span(data).subspan(8192));        // not even tried
        file.Complete();
    }
    EXPECT_TRUE(file.Stopped());
    EXPECT_EQ(file.DataSize(), 5000u);
    ExpectCompleteFile(path, std::vector<char>(data.begin(), data.begin() + 5000));
    if (!SoxiAvailable()) GTEST_SKIP() << "soxi not found at configure time";
    EXPECT_EQ(SoxiSamples(path), 5000);
}

TEST(WavFile, BuffersOfAnySizeArriveWholeAndInOrder) {
    ScratchFolder folder;
    const auto path = folder / "take.wav";
    const std::vector<std::size_t> sizes = {1, 4051, 1, 4095, 4096, 4097, 7, 65536, 3, 12345};
    std::vector<char> data;
    for (const std::size_t size : sizes) {
        const auto chunk = Ramp(size, static_cast<int>(data.size()));
        data.insert(data.end(), chunk.begin(), chunk.end());
    }
    {
        WavFile file;
        ASSERT_TRUE(file.Create(path, 1, 8000, 8));
        std::size_t at = 0;
        for (const std::size_t size : sizes) {
            file.Append(std::span(data).subspan(at, size));
            at += size;
            EXPECT_EQ(file.DataSize(), at);
        }
    }
    ExpectCompleteFile(path, data);
}

TEST(WavFile, HeaderThatCannotBeStoredLeavesNoFile) {
    ScratchFolder folder;
    const auto path = folder / "take.wav";
    WavFile file;
    bool created = true;
    {
        FileSizeLimit limit(20);
        created = file.Create(path, 1, 8000, 8);
    }
    EXPECT_FALSE(created);
    EXPECT_FALSE(file.IsOpen());
    EXPECT_FALSE(std::filesystem::exists(path));
}

// Only an empty file of the recording's own may be removed: an existing file
// or a device node that refuses the header stays where it is.
TEST(WavFile, PathItDidNotCreateIsNeverRemoved) {
    ScratchFolder folder;
    const auto existing = folder / "existing.wav";
    std::ofstream(existing) << "x";
    WavFile file;
    bool created = true;
    {
        FileSizeLimit limit(20);
        created = file.Create(existing, 1, 8000, 8);
    }
    EXPECT_FALSE(created);
    EXPECT_NE(file.Error(), 0);
    EXPECT_TRUE(std::filesystem::exists(existing));

    // A private node of the device behind /dev/full (char 1,7): its writes
    // fail with "No space left on device".
    const auto full = folder / "full";
    if (::mknod(full.c_str(), S_IFCHR | 0666, makedev(1, 7)) != 0)
        GTEST_SKIP() << "cannot make a device node here (not root?)";
    if (::access(full.c_str(), W_OK) != 0) GTEST_SKIP() << "device nodes cannot be opened here";
    EXPECT_FALSE(file.Create(full, 2, 44100, 16));
    EXPECT_EQ(file.Error(), ENOSPC);
    EXPECT_TRUE(std::filesystem::is_character_file(full)) << "the device node was removed";
}

// A FIFO is written when a program reads it, and refused at once when none
// does: the owner's thread never waits in open() for a reader.
TEST(WavFile, FifoIsWrittenWhileReadAndRefusedWithoutAReader) {
    ScratchFolder folder;
    const auto fifo = folder / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    WavFile unread;
    auto creating = std::async(std::launch::async, [&] { return unread.Create(fifo, 2, 44100, 16); });
    const bool answered = creating.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    if (!answered) {
        // A reader lets the waiting open go on, so that the test can end.
        const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
        creating.wait();
        ::close(reader);
    }
    ASSERT_TRUE(answered) << "Create waited for a reader";
    EXPECT_FALSE(creating.get());
    EXPECT_EQ(unread.Error(), ENXIO);

    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    WavFile read;
    ASSERT_TRUE(read.Create(fifo, 1, 8000, 8)) << std::strerror(read.Error());
    const std::string audio = "abcdef";
    read.Append(audio);
    std::string received(WavHeaderSize + audio.size(), '\0');
    EXPECT_EQ(::read(reader, received.data(), received.size()),
              static_cast<ssize_t>(received.size()));
    EXPECT_EQ(received.substr(0, 4), "RIFF");
    EXPECT_EQ(received.substr(WavHeaderSize), audio);
    read.Complete();
    ::close(reader);
}

// A disk that fills in the middle of a frame leaves a file that ends on its
// last whole frame, with sizes that say so.
TEST(WavFile, ShortWriteKeepsOnlyWholeFrames) {
    ScratchFolder folder;
    const auto path = folder / "take.wav";
    const auto data = Ramp(2 * 4096);
    WavFile file;
    {
        FileSizeLimit limit(WavHeaderSize + 4096 + 5);
        ASSERT_TRUE(file.Create(path, 2, 8000, 16));  // 4 bytes a frame
        file.Append(std::span(data).first(4096));
        file.Append(std::span(data).subspan(4096));
        file.Complete();
    }
    EXPECT_TRUE(file.Stopped());
    EXPECT_NE(file.Error(), 0);
    EXPECT_EQ(file.DataSize(), 4100u);
    ExpectCompleteFile(path, std::vector<char>(data.begin(), data.begin() + 4100));

    {
        FileSizeLimit limit(WavHeaderSize + 1);
        ASSERT_TRUE(file.Create(path, 2, 8000, 16));
        file.Append(std::span(data).first(8));
        file.Complete();
    }
    EXPECT_EQ(file.DataSize(), 0u);
    ExpectCompleteFile(path, {});
}

TEST(WavFile, SizeLimitCountsWholeFrames) {
    ScratchFolder folder;
    const auto path = folder / "take.wav";
    // Room for 102 data bytes: 25 frames of 4 bytes.
    WavFile file(36 + 102);
    ASSERT_TRUE(file.Create(path, 2, 8000, 16));
    EXPECT_EQ(file.Room(), 100u);
    file.Append(Ramp(100));
    EXPECT_FALSE(file.Stopped());
    EXPECT_EQ(file.Room(), 0u);
    EXPECT_EQ(WavMaxDataBytes(4), 0xFFFFFFFFull - 36 - (0xFFFFFFFFull - 36) % 4);
}
