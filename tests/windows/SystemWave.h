// What the tests of the components against the system's waveform API share:
// running the message loop with a time limit, reading back a recording file,
// and saying where the system at hand (Wine, in CI) behaves otherwise than
// documented.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/WaveApi.h"

namespace systemwave {

// Runs Application's message loop on this thread until a handler calls
// Application->Terminate, or at most `limit`. True when a handler ended it.
bool RunUntilTerminated(std::chrono::milliseconds limit);

// Handles messages for `span`, so that late notifications get their chance.
void RunFor(std::chrono::milliseconds span);

// The version of Wine when the tests run under it; empty on Windows itself.
std::string WineVersion();

// Reports behaviour of the system at hand that the documentation, or our own
// waveform layer, does not share: one line in the test output and a property
// of the running test.
void ReportSystemBehaviour(const std::string& what);

struct RecordingFile {
    std::uint32_t FileSize = 0;
    std::uint32_t RiffSize = 0;
    std::uint16_t FormatTag = 0;
    std::uint16_t Channels = 0;
    std::uint32_t SamplesPerSec = 0;
    std::uint32_t AvgBytesPerSec = 0;
    std::uint16_t BlockAlign = 0;
    std::uint16_t BitsPerSample = 0;
    std::uint32_t DataSize = 0;
    std::vector<char> Data;  // what follows the 44-byte header
};

// Reads a 44-byte-header RIFF/WAVE file; false when it is missing or not one.
bool ReadRecordingFile(const std::string& path, RecordingFile& file);

// A file name in the temporary folder, removed when the object goes.
class TemporaryFile {
  public:
    explicit TemporaryFile(const std::string& name);
    ~TemporaryFile();
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
};

// Bytes of audio per second in a PCM format.
constexpr std::uint32_t BytesPerSecond(std::uint32_t channels, std::uint32_t rate,
                                       std::uint32_t bits) {
    return channels * bits / 8 * rate;
}

}  // namespace systemwave
