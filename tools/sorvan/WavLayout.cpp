#include "tools/sorvan/WavLayout.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "components/WavFile.h"
#include "tools/sorvan/CliError.h"

namespace {

std::uint32_t Le32(const unsigned char* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t{p[3]} << 24);
}
std::uint16_t Le16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

void ReadExactly(int fd, void* into, std::size_t size, std::uint64_t at, const std::string& path) {
    const ssize_t got = ::pread(fd, into, size, static_cast<off_t>(at));
    if (got < 0) throw CliError("cannot read " + path + ": " + SystemReason(errno));
    if (static_cast<std::size_t>(got) != size)
        throw CliError(path + " is not a WAV file (it ends inside its header)");
}

void WriteLe32(int fd, std::uint32_t value, std::uint64_t at, const std::string& path) {
    const unsigned char bytes[4] = {
        static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
        static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
    if (::pwrite(fd, bytes, 4, static_cast<off_t>(at)) != 4)
        throw CliError("cannot write " + path + ": " + SystemReason(errno));
}

}  // namespace

bool WavLayout::IsUnfinished() const {
    return std::uint64_t{riffSize} + 8 < dataOffset + dataSize || (riffSize == 0 && BytesPresent() > 0);
}

WavLayout ReadWavLayout(int fd, const std::string& path) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) throw CliError("cannot read " + path + ": " + SystemReason(errno));
    WavLayout layout;
    layout.fileLength = static_cast<std::uint64_t>(info.st_size);

    unsigned char riff[12];
    ReadExactly(fd, riff, sizeof riff, 0, path);
    if (std::memcmp(riff, "RIFF", 4) != 0 || std::memcmp(riff + 8, "WAVE", 4) != 0)
        throw CliError(path + " is not a WAV file");
    layout.riffSize = Le32(riff + 4);

    // The size fields of an unfinished recording are 0, so the chunks are
    // walked by their own sizes, never by the RIFF size. Offsets are 64-bit:
    // a size near 4 GiB must not wrap around to an earlier chunk.
    bool haveFormat = false;
    std::uint64_t at = 12;
    for (;;) {
        unsigned char chunk[8];
        ReadExactly(fd, chunk, sizeof chunk, at, path);
        const std::uint32_t size = Le32(chunk + 4);
        const bool isData = std::memcmp(chunk, "data", 4) == 0;
        // Only the data chunk may run past the end (a recording cut short).
        if (!isData && at + 8 + size > layout.fileLength)
            throw CliError(path + " is damaged: its '" + std::string(reinterpret_cast<char*>(chunk), 4) +
                           "' chunk runs past the end of the file");
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (size < 16) throw CliError(path + " has a damaged format chunk");
            unsigned char fmt[16];
            ReadExactly(fd, fmt, sizeof fmt, at + 8, path);
            layout.formatTag = Le16(fmt);
            layout.channels = Le16(fmt + 2);
            layout.sampleRate = Le32(fmt + 4);
            layout.blockAlign = Le16(fmt + 12);
            layout.bitsPerSample = Le16(fmt + 14);
            haveFormat = true;
        } else if (isData) {
            if (!haveFormat) throw CliError(path + " has its data before its format chunk");
            layout.dataSizeOffset = at + 4;
            layout.dataOffset = at + 8;
            layout.dataSize = size;
            break;
        }
        at += 8 + std::uint64_t{size} + (size & 1);
    }
    if (layout.formatTag != 1) throw CliError(path + " is not a PCM WAV file");
    if (layout.blockAlign == 0 || layout.channels == 0 || layout.sampleRate == 0 ||
        layout.bitsPerSample == 0)
        throw CliError(path + " has a damaged format chunk");
    if (layout.blockAlign != layout.FrameBytes())
        throw CliError(path + " has a damaged format chunk: its block align " +
                       std::to_string(layout.blockAlign) + " does not match " +
                       std::to_string(layout.channels) + " channels of " +
                       std::to_string(layout.bitsPerSample) + " bits");
    if (layout.dataOffset > layout.fileLength) throw CliError(path + " ends inside its header");
    return layout;
}

void WriteWavSizes(int fd, const WavLayout& layout, std::uint32_t dataSize,
                   const std::string& path) {
    const std::uint64_t riffSize = layout.dataOffset - 8 + dataSize;
    WriteLe32(fd, dataSize, layout.dataSizeOffset, path);
    WriteLe32(fd, static_cast<std::uint32_t>(riffSize), 4, path);
}

std::uint64_t CompleteFromLength(int fd, const WavLayout& layout, const std::string& path) {
    const std::uint64_t limit = WavMaxRiffSize - (layout.dataOffset - 8);
    std::uint64_t keep = std::min(layout.BytesPresent(), limit);
    keep -= keep % layout.blockAlign;
    WriteWavSizes(fd, layout, static_cast<std::uint32_t>(keep), path);
    if (::fsync(fd) != 0) throw CliError("cannot complete " + path + ": " + SystemReason(errno));
    return keep;
}
