// The gaps in the sound of a component's stream: frames the device lost or
// silence it played, by itself or because the application was late. Our
// waveform layer counts them; Windows' own has no such count, so there the
// components report none.
#pragma once

#include "platform/WaveApi.h"
#include "platform/WaveGaps.h"

#include <type_traits>

using TSVGaps = WaveGaps;

template <class Handle>
TSVGaps GapsOfDevice([[maybe_unused]] Handle device) {
    TSVGaps gaps;
#ifndef _WIN32
    if constexpr (std::is_same_v<Handle, HWAVEIN>) {
        if (waveInGetGaps(device, &gaps) != MMSYSERR_NOERROR) gaps = {};
    } else {
        if (waveOutGetGaps(device, &gaps) != MMSYSERR_NOERROR) gaps = {};
    }
#endif
    return gaps;
}
