// The recording file of the capture component: a PCM RIFF/WAVE file with the
// canonical 44-byte header, grown by one write per buffer and completed by
// writing its two size fields.
//
// The size fields always describe the whole frames really stored: a write
// that fails or is cut short counts only what reached the file (a partial
// last frame is cut off), and the file stops growing there, so a completed
// file stays valid when the disk fills. A file never grows past what the
// 32-bit RIFF size can describe.
//
// A path is only ever removed when this object created the file and it
// holds no audio; an existing file (or a device such as /dev/full) is
// written to, never unlinked.
//
// Every buffer goes to the file at once, so a recording cut short by a crash
// keeps every byte delivered before it (and can be repaired from its length).
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

inline constexpr std::size_t WavHeaderSize = 44;
// Where the two size fields lie in the canonical header.
inline constexpr std::size_t WavRiffSizeOffset = 4;
inline constexpr std::size_t WavDataSizeOffset = 40;
// The largest RIFF size (file length - 8) the format can hold.
inline constexpr std::uint64_t WavMaxRiffSize = 0xFFFFFFFFu;
// The most data bytes a file with the canonical header can hold, in whole
// frames of `blockAlign` bytes.
constexpr std::uint64_t WavMaxDataBytes(std::uint32_t blockAlign,
                                        std::uint64_t riffSizeLimit = WavMaxRiffSize) {
    const std::uint64_t room = riffSizeLimit - (WavHeaderSize - 8);
    return blockAlign == 0 ? room : room - room % blockAlign;
}

// The header of a new file, both size fields 0, for a format given as the
// capture component's three properties. Block alignment and byte rate use
// 32-bit arithmetic: the product of channels and bits wraps, is divided by 8
// toward zero and kept to 16 bits.
std::array<std::uint8_t, WavHeaderSize> WavHeader(std::int32_t channels, std::int32_t samples,
                                                  std::int32_t bits);

class WavFile {
  public:
    static constexpr std::uint64_t MaxRiffSize = WavMaxRiffSize;

    // riffSizeLimit lets tests reach the size limit without writing 4 GiB.
    explicit WavFile(std::uint64_t riffSizeLimit = MaxRiffSize);
    WavFile(const WavFile&) = delete;
    WavFile& operator=(const WavFile&) = delete;
    // Completes a file still open.
    ~WavFile();

    // Creates (or truncates) the file and writes the header with both sizes
    // 0. False when the file cannot be opened or its header cannot be stored
    // whole; a file this call created is then removed again, one that
    // existed before is left where it is. Error() tells why.
    bool Create(const std::string& path, std::int32_t channels, std::int32_t samples,
                std::int32_t bits);
    // Appends the bytes at the end of the data. Nothing is added once a
    // write has failed, or when the bytes would take the file past the limit.
    void Append(std::span<const char> bytes);
    // Writes the two size fields and closes the file; nothing when none is open.
    void Complete();

    bool IsOpen() const { return fd_ >= 0; }
    // Bytes of the data chunk of the current (or last) file: whole frames.
    std::uint32_t DataSize() const { return stored_; }
    // Data bytes the file can still take before the size limit.
    std::uint64_t Room() const { return dataLimit_ - stored_; }
    // True once the file stopped growing (failed write or size limit).
    bool Stopped() const { return stopped_; }
    // The system's error number of a failed creation or write; 0 for none
    // (also when the file stopped at the size limit).
    int Error() const { return error_; }

  private:
    void WriteSizeField(std::int64_t offset, std::uint32_t value);
    // Ends the file at its last whole frame after a failed or short write.
    void StopAtWholeFrames(std::size_t written);

    std::uint64_t riffSizeLimit_;
    std::uint64_t dataLimit_ = 0;
    std::uint32_t blockAlign_ = 1;
    int fd_ = -1;
    // Data bytes in the file, after the header.
    std::uint32_t stored_ = 0;
    bool stopped_ = false;
    int error_ = 0;
};
