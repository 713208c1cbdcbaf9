// Gaps in the sound of an open stream, which the waveform API itself does
// not report. Our waveform layer counts them per handle; Windows' API keeps
// no such count, so there the components report none.
#pragma once

#include <cstdint>

#include "platform/WaveApi.h"

struct WaveGaps {
    // The device lost frames (input) or ran dry (output) on its own: an
    // xrun, or a position that jumped on a device that reports no xrun.
    std::uint64_t deviceGaps = 0;
    std::uint64_t deviceFrames = 0;  // frames lost or silence played, as far as known
    // No buffer (input) or block (output) was queued in time: the
    // application was late, and the device dropped frames or played silence.
    std::uint64_t lateGaps = 0;
    std::uint64_t lateFrames = 0;

    std::uint64_t count() const { return deviceGaps + lateGaps; }
    std::uint64_t frames() const { return deviceFrames + lateFrames; }
    friend bool operator==(const WaveGaps&, const WaveGaps&) = default;
};

#ifndef _WIN32
// The gaps since the stream was opened; MMSYSERR_INVALHANDLE for a handle
// that names no open stream, MMSYSERR_INVALPARAM for a null `gaps`.
MMRESULT waveInGetGaps(HWAVEIN hwi, WaveGaps* gaps);
MMRESULT waveOutGetGaps(HWAVEOUT hwo, WaveGaps* gaps);
#endif
