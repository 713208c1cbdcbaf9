// Where the parts of a PCM RIFF/WAVE file lie, as far as the CLI needs them:
// to complete an unfinished recording and to trim one to its exact length.
#pragma once

#include <cstdint>
#include <string>

struct WavLayout {
    std::uint16_t formatTag = 0;
    std::uint16_t channels = 0;
    std::uint32_t sampleRate = 0;
    std::uint16_t blockAlign = 0;
    std::uint16_t bitsPerSample = 0;
    std::uint32_t riffSize = 0;        // as the header says
    std::uint64_t dataSizeOffset = 0;  // where the data chunk's size field lies
    std::uint64_t dataOffset = 0;      // first sample byte
    std::uint32_t dataSize = 0;        // as the header says
    std::uint64_t fileLength = 0;

    std::uint64_t BytesPresent() const { return fileLength - dataOffset; }
    // Bytes of one frame as the channels and sample width make it.
    std::uint32_t FrameBytes() const { return channels * ((bitsPerSample + 7u) / 8u); }
    // Left by a recording that never completed it: the RIFF size, written
    // last, does not cover the data chunk (both sizes 0 after a crash, or
    // only the data size written).
    bool IsUnfinished() const;
    // The data chunk's size says more than the file holds.
    bool IsCutShort() const { return dataOffset + dataSize > fileLength; }
    // The header's sizes describe the file: not unfinished, not cut short.
    bool IsComplete() const { return !IsUnfinished() && !IsCutShort(); }
};

// Reads the chunk layout of an open file up to its data chunk. Raises
// CliError naming `path` when the file is not a WAV file this tool can handle.
WavLayout ReadWavLayout(int fd, const std::string& path);

// Writes both size fields for the whole frames present, as far as the size
// fields can describe them, and returns the data bytes they count. No byte
// of the file is removed: a partial last frame, or audio past the format's
// 4 GiB limit, stays in the file after what the sizes count.
std::uint64_t CompleteFromLength(int fd, const WavLayout& layout, const std::string& path);

// Writes both size fields for a data chunk of `dataSize` bytes.
void WriteWavSizes(int fd, const WavLayout& layout, std::uint32_t dataSize,
                   const std::string& path);
