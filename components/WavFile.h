// The recording file of the capture component: a PCM RIFF/WAVE file with the
// canonical 44-byte header, grown by one write per buffer and completed by
// writing its two size fields.
//
// The size fields always describe the bytes really stored: a write that
// fails or is cut short counts only what reached the file, and the file
// stops growing there, so a completed file stays valid when the disk fills.
// A file never grows past what the 32-bit RIFF size can describe.
//
// Every buffer goes to the file at once, so a recording cut short by a crash
// keeps every byte delivered before it (and can be repaired from its length).
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

inline constexpr std::size_t WavHeaderSize = 44;

// The header of a new file, both size fields 0, for a format given as the
// capture component's three properties. Block alignment and byte rate use
// 32-bit arithmetic: the product of channels and bits wraps, is divided by 8
// toward zero and kept to 16 bits.
std::array<std::uint8_t, WavHeaderSize> WavHeader(std::int32_t channels, std::int32_t samples,
                                                  std::int32_t bits);

class WavFile {
  public:
    // The largest RIFF size (file length - 8) the format can hold.
    static constexpr std::uint64_t MaxRiffSize = 0xFFFFFFFFu;

    // riffSizeLimit lets tests reach the size limit without writing 4 GiB.
    explicit WavFile(std::uint64_t riffSizeLimit = MaxRiffSize);
    WavFile(const WavFile&) = delete;
    WavFile& operator=(const WavFile&) = delete;
    // Completes a file still open.
    ~WavFile();

    // Creates (or truncates) the file and writes the header with both sizes
    // 0. False, with no file left behind by this call, when the file cannot
    // be created or its header cannot be stored whole.
    bool Create(const std::string& path, std::int32_t channels, std::int32_t samples,
                std::int32_t bits);
    // Appends the bytes at the end of the data. Nothing is added once a
    // write has failed, or when the bytes would take the file past the limit.
    void Append(std::span<const char> bytes);
    // Writes the two size fields and closes the file; nothing when none is open.
    void Complete();

    bool IsOpen() const { return fd_ >= 0; }
    // Bytes of the data chunk of the current (or last) file.
    std::uint32_t DataSize() const { return stored_; }
    // True once the file stopped growing (failed write or size limit).
    bool Stopped() const { return stopped_; }

  private:
    void WriteSizeField(std::int64_t offset, std::uint32_t value);

    std::uint64_t riffSizeLimit_;
    int fd_ = -1;
    // Data bytes in the file, after the header.
    std::uint32_t stored_ = 0;
    bool stopped_ = false;
};
