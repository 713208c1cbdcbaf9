// Records through a TSorvanIn, on the main thread's message loop, until a
// byte limit is reached or the user presses Ctrl-C. Used by `record` (with
// a recording file) and `demo` (into memory).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "components/SorvanWave.h"
#include "components/StreamGaps.h"
#include "tools/sorvan/PcmFormat.h"

class ProgressLine;

struct RecordPlan {
    TSVDev device = wvMapper;
    PcmFormat format;
    int buffers = 4;
    int bufferSize = 8192;
    // Stop once this many bytes have arrived; the sink gets no more.
    std::uint64_t byteLimit = 0;
    // Whether the limit is what the user asked for, shown as the total.
    bool limitIsDuration = false;
};

struct RecordOutcome {
    std::uint64_t bytes = 0;  // delivered by the device and handed to the sink
    double peakLevel = 0;     // 0..1 of full scale
    bool interrupted = false;
    TSVGaps gaps;
};

using DataSink = std::function<void(std::span<const std::byte>)>;

// Hands every recorded byte to `sink`. Raises CliError when the device
// cannot be opened or stops delivering, and passes on the sink's errors,
// which end the recording; the device is closed before it returns or raises.
RecordOutcome Record(const RecordPlan& plan, const DataSink& sink, ProgressLine& progress);
