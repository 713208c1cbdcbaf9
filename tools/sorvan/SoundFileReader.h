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

class SoundFileReader {
  public:
    // Raises CliError naming the problem: a missing, unreadable, truncated,
    // unfinished or non-audio file, or one without any audio.
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
    // Fills `out` with whole frames; returns the bytes written, 0 at the end.
    // Raises CliError when the file turns out damaged or cut short.
    std::size_t Read(std::span<std::byte> out);

  private:
    struct Closer {
        void operator()(SNDFILE* file) const { sf_close(file); }
    };

    void RejectUnfinishedWav() const;

    std::string path_;
    std::unique_ptr<SNDFILE, Closer> file_;
    SF_INFO info_{};
    PcmFormat natural_;
    std::optional<std::int64_t> frames_;
    std::int64_t framesRead_ = 0;
    int bits_ = 16;
    std::vector<short> shorts_;
    std::vector<int> ints_;
};
