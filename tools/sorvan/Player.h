// Plays PCM through a TSorvanOut, on the main thread's message loop: a few
// blocks are queued ahead, and every OnDone hands over the next one. Used by
// `play` (from a sound file) and `demo` (from memory).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>

#include "components/SorvanWave.h"
#include "components/StreamGaps.h"
#include "tools/sorvan/PcmFormat.h"

class ProgressLine;

struct PlayPlan {
    TSVDev device = wvMapper;
    PcmFormat format;
    std::optional<double> totalSeconds;  // for the progress line, when known
    int blocksAhead = 4;
    std::size_t framesPerBlock = 2205;
    // Set on the stream itself once open, where streams have their own volume.
    std::optional<WORD> streamVolume;
};

struct PlayOutcome {
    std::uint64_t bytes = 0;  // played to the end of their block
    double peakLevel = 0;
    bool interrupted = false;
    TSVGaps gaps;
};

// Fills the span with whole frames and returns the bytes written; 0 at the
// end. May raise CliError, which ends playback and is passed on.
using PcmSource = std::function<std::size_t(std::span<std::byte>)>;

// Raises CliError when the device cannot be opened or stops playing, and
// passes on the source's errors; the device is closed first in every case.
PlayOutcome Play(const PlayPlan& plan, const PcmSource& source, ProgressLine& progress);
