// The "alsa" wave driver: ALSA PCMs as waveform audio devices.
//
// Selected with sorvan::wave::selectDriver("alsa") or SORVAN_AUDIO=alsa, or
// by "auto" when ALSA offers a usable device. ALSA reads its configuration
// as usual, so ALSA_CONFIG_PATH set before the first wave call chooses the
// PCMs it offers.
#pragma once

#include <cstdint>

namespace sorvan::alsa {

// Overruns and underruns the streams recovered from since the process
// started. Not counted: those that only happened because the application
// had no buffer queued (capture) or nothing left to play (playback).
std::uint64_t xrunCount();

}  // namespace sorvan::alsa
