// Any audio file libsndfile reads (WAV, FLAC, Ogg, AIFF ...), delivered as
// interleaved PCM in the layout a wave device takes: 8-bit unsigned, or 16,
// 24 (packed) or 32-bit signed little-endian.
#pragma once

#include <sndfile.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "tools/sorvan/PcmFormat.h"
#include "tools/sorvan/UniqueFd.h"

class SoundFileReader {
  public:
    // Raises CliError naming the problem: a missing, unreadable or
    // non-audio file, or one without any audio. "-" reads stdin. A file cut
    // short or left unfinished is read as far as it goes, with a warning.
    explicit SoundFileReader(std::string path);

    const std::string& Path() const { return path_; }
    // The file's channels and rate, with the sample width closest to its own.
    PcmFormat NaturalFormat() const { return natural_; }
    // The formats worth offering a device, the natural one first.
    std::vector<PcmFormat> CandidateFormats() const;
    // Frames in the file, when the file says.
    std::optional<std::int64_t> Frames() const { return frames_; }

    // The sample width Read delivers from now on (8, 16, 24 or 32).
    void SetOutputBits(int bits) { bits_ = bits; }
    // Frames worth reading at once for `seconds` of audio, bounded by what
    // the file holds (a header may claim any rate).
    std::size_t FramesPerRead(double seconds) const;
    // Fills `out` with whole frames; returns the bytes written, 0 at the end
    // (also where the file turns out damaged or cut short: see Warnings).
    std::size_t Read(std::span<std::byte> out);
    // What the user should know about the file, one line each.
    const std::vector<std::string>& Warnings() const { return warnings_; }

  private:
    struct Closer {
        void operator()(SNDFILE* file) const { sf_close(file); }
    };

    void OpenFifo(UniqueFd fifo);
    void WaitForWriter(int fd) const;
    // Reads a WAV recording whose sizes were never written as raw PCM.
    void OpenUnfinishedWav();
    // Writes the first `samples` of ints_ (full 32-bit scale) as `width`-byte samples.
    void PackInts(std::span<std::byte> out, std::size_t samples, int width) const;

    std::string path_;
    // A FIFO read through this descriptor; it outlives file_, which reads it.
    UniqueFd fifo_;
    std::unique_ptr<SNDFILE, Closer> file_;
    SF_INFO info_{};
    PcmFormat natural_;
    std::optional<std::int64_t> frames_;
    std::int64_t framesRead_ = 0;
    int bits_ = 16;
    bool ended_ = false;
    std::vector<std::string> warnings_;
    std::vector<short> shorts_;
    std::vector<int> ints_;
    bool floatSamples_ = false;
    std::vector<float> floats_;
};
