// Where `record` puts the audio: WAV files through the capture component's
// own recording-file writer (going on into numbered files when one is
// full), a WAV stream on stdout, or another type libsndfile writes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "tools/sorvan/PcmFormat.h"

enum class FileType { wav, flac, ogg, aiff, au, caf, w64, raw };

// The type a file name's extension stands for; WAV for names without one.
// Raises CliError naming the extension when it stands for nothing known.
FileType TypeOfName(const std::string& path);
// "flac" -> FileType::flac; raises CliError for an unknown name.
FileType TypeNamed(const std::string& name);

class RecordingOutput {
  public:
    virtual ~RecordingOutput() = default;
    // Stores whole frames. Raises CliError with the system's reason when the
    // target refuses them; what was stored before stays valid.
    virtual void Write(std::span<const std::byte> bytes) = 0;
    // Completes what was written (sizes, trailers) and closes it.
    virtual void Finish() = 0;
    // The files written so far, in order; empty for stdout.
    virtual std::vector<std::string> Files() const = 0;
};

struct OutputPlan {
    std::string path;  // "-" for stdout
    FileType type = FileType::wav;
    PcmFormat format;
    bool replace = false;  // existing regular files may be replaced
    // WAV files only: bytes of audio one file may hold before the next
    // numbered one starts (whole frames); unset for the format's own limit.
    std::optional<std::uint64_t> bytesPerFile;
    // The audio's length when it is known in advance (stdout headers).
    std::optional<std::uint64_t> totalBytes;
};

// Checks that the target can be written without touching it; the file
// itself is made when the first audio arrives, so a device that fails to
// start leaves everything as it was. Raises CliError.
std::unique_ptr<RecordingOutput> OpenRecordingOutput(const OutputPlan& plan);

// The name of the n-th file (from 1) of a recording: the name given, then
// "take-02.wav", "take-03.wav" ...
std::string NumberedName(const std::string& path, int number);
