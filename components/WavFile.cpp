#include "components/WavFile.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32
constexpr int WriteFlags = O_WRONLY | O_BINARY;
// Opening an existing path never waits there.
constexpr int ExistingPathFlags = WriteFlags | O_TRUNC;
#else
constexpr int WriteFlags = O_WRONLY | O_CLOEXEC;
// A FIFO that no program reads would hold the owner's thread in open() for as
// long as none comes; without waiting it is refused at once (ENXIO).
constexpr int ExistingPathFlags = WriteFlags | O_TRUNC | O_NONBLOCK;
#endif

// The RIFF size counts everything after its own field: the header's last 36
// bytes and the data.
constexpr std::uint32_t RiffOverhead = WavHeaderSize - 8;

// Opens the file for writing, emptied. `created` tells whether this call
// made it: only then may a failure remove it again.
int OpenForWriting(const std::string& path, bool& created) {
    // The file may come or go between the two tries; a few rounds settle it.
    for (int round = 0; round < 3; ++round) {
        int fd = ::open(path.c_str(), WriteFlags | O_CREAT | O_EXCL, 0666);
        if (fd >= 0 || errno != EEXIST) {
            created = fd >= 0;
            return fd;
        }
        fd = ::open(path.c_str(), ExistingPathFlags);
        if (fd >= 0 || errno != ENOENT) {
            created = false;
#ifndef _WIN32
            // Writes wait as usual: a slow reader of a FIFO loses no bytes.
            if (fd >= 0) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
#endif
            return fd;
        }
    }
    return -1;
}

// Removes the file this object created, unless the path names another file
// by now.
void RemoveCreated(const std::string& path, int fd) {
#ifndef _WIN32
    struct stat opened {};
    struct stat named {};
    if (::fstat(fd, &opened) != 0 || ::stat(path.c_str(), &named) != 0) return;
    if (opened.st_dev != named.st_dev || opened.st_ino != named.st_ino) return;
#else
    (void)fd;
#endif
    ::unlink(path.c_str());
}

void put16(std::uint8_t* at, std::uint16_t value) {
    at[0] = static_cast<std::uint8_t>(value);
    at[1] = static_cast<std::uint8_t>(value >> 8);
}

void put32(std::uint8_t* at, std::uint32_t value) {
    put16(at, static_cast<std::uint16_t>(value));
    put16(at + 2, static_cast<std::uint16_t>(value >> 16));
}

// Writes all of `bytes` at the current position; returns how many were stored.
std::size_t WriteAll(int fd, std::span<const char> bytes) {
    std::size_t stored = 0;
    while (stored < bytes.size()) {
        const auto rest = bytes.subspan(stored);
#ifdef _WIN32
        const auto written = ::write(fd, rest.data(), static_cast<unsigned>(rest.size()));
#else
        const auto written = ::write(fd, rest.data(), rest.size());
#endif
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) break;
        stored += static_cast<std::size_t>(written);
    }
    return stored;
}

}  // namespace

std::array<std::uint8_t, WavHeaderSize> WavHeader(std::int32_t channels, std::int32_t samples,
                                                  std::int32_t bits) {
    // Unsigned multiplication wraps without undefined behaviour; the
    // division is the signed one, rounding toward zero.
    const auto product = static_cast<std::int32_t>(static_cast<std::uint32_t>(channels) *
                                                   static_cast<std::uint32_t>(bits));
    const auto blockAlign = static_cast<std::uint16_t>(product / 8);
    const std::uint32_t byteRate = static_cast<std::uint32_t>(samples) * blockAlign;

    std::array<std::uint8_t, WavHeaderSize> header{};
    std::uint8_t* h = header.data();
    std::memcpy(h, "RIFF", 4);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    put32(h + 16, 16);
    put16(h + 20, 1);
    put16(h + 22, static_cast<std::uint16_t>(channels));
    put32(h + 24, static_cast<std::uint32_t>(samples));
    put32(h + 28, byteRate);
    put16(h + 32, blockAlign);
    put16(h + 34, static_cast<std::uint16_t>(bits));
    std::memcpy(h + 36, "data", 4);
    return header;
}

WavFile::WavFile(std::uint64_t riffSizeLimit)
    : riffSizeLimit_(std::min(riffSizeLimit, MaxRiffSize)) {}

WavFile::~WavFile() {
    Complete();
}

bool WavFile::Create(const std::string& path, std::int32_t channels, std::int32_t samples,
                     std::int32_t bits) {
    if (IsOpen()) return false;
    error_ = 0;
    bool created = false;
    const int fd = OpenForWriting(path, created);
    if (fd < 0) {
        error_ = errno;
        return false;
    }
    const auto header = WavHeader(channels, samples, bits);
    const std::span<const char> bytes(reinterpret_cast<const char*>(header.data()), header.size());
    errno = 0;
    if (WriteAll(fd, bytes) != bytes.size()) {
        // A file without a whole header could never be completed into a
        // valid one, but only an empty file of our own may go.
        error_ = errno != 0 ? errno : ENOSPC;
        if (created) RemoveCreated(path, fd);
        ::close(fd);
        return false;
    }
    fd_ = fd;
    blockAlign_ = std::max<std::uint32_t>(1, static_cast<std::uint32_t>(header[32] | header[33] << 8));
    dataLimit_ = WavMaxDataBytes(blockAlign_, riffSizeLimit_);
    stored_ = 0;
    stopped_ = false;
    return true;
}

void WavFile::Append(std::span<const char> bytes) {
    if (!IsOpen() || stopped_ || bytes.empty()) return;
    if (bytes.size() > Room()) {
        stopped_ = true;
        return;
    }
    errno = 0;
    const std::size_t written = WriteAll(fd_, bytes);
    if (written != bytes.size()) {
        // After a short write the file ends where the disk stopped taking
        // bytes; later buffers would leave a gap in the recording.
        error_ = errno != 0 ? errno : ENOSPC;
        StopAtWholeFrames(written);
        return;
    }
    stored_ += static_cast<std::uint32_t>(written);
}

void WavFile::StopAtWholeFrames(std::size_t written) {
    stopped_ = true;
    const std::uint64_t reached = std::uint64_t{stored_} + written;
    stored_ = static_cast<std::uint32_t>(reached - reached % blockAlign_);
    // Cutting a file shorter needs no new space, so this works on a full disk.
    if (stored_ == reached) return;
    const auto length = static_cast<long long>(WavHeaderSize + stored_);
#ifdef _WIN32
    (void)::_chsize_s(fd_, length);
#else
    (void)::ftruncate(fd_, static_cast<off_t>(length));
#endif
}

void WavFile::Complete() {
    if (!IsOpen()) return;
    WriteSizeField(static_cast<std::int64_t>(WavDataSizeOffset), stored_);
    WriteSizeField(static_cast<std::int64_t>(WavRiffSizeOffset), stored_ + RiffOverhead);
    ::close(fd_);
    fd_ = -1;
}

void WavFile::WriteSizeField(std::int64_t offset, std::uint32_t value) {
    std::uint8_t field[4];
    put32(field, value);
    // Overwriting bytes inside the file needs no new space, so this succeeds
    // even on a full disk; a failure leaves nothing better to do.
    if (::lseek(fd_, offset, SEEK_SET) == offset) {
        WriteAll(fd_, {reinterpret_cast<const char*>(field), sizeof field});
    }
}
