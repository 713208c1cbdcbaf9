// The "alsa" wave driver: ALSA PCMs as waveform audio devices.
//
// Selected with sorvan::wave::selectDriver("alsa") or SORVAN_AUDIO=alsa, or
// by "auto" when ALSA offers a usable device. ALSA reads its configuration
// as usual, so ALSA_CONFIG_PATH set before the first wave call chooses the
// PCMs it offers. A PCM that does not open gives ALSA's reason with the
// code (sorvan::wave::lastFailureReason). This header is for the driver's
// own tests: programs reach the driver only through the waveform layer.
#pragma once

#include <cstdint>
#include <string>

namespace sorvan::alsa {

// Overruns and underruns the streams recovered from since the process
// started. Not counted: those that only happened because the application
// had no buffer queued (capture) or nothing left to play (playback).
std::uint64_t xrunCount();

// One spelling for the names ALSA takes for the same device, so that a
// device named another way than the list names it is found there:
// "hw:CARD=PCH,DEV=0", "hw:PCH,0", "hw:0,0" and "hw:0" all become "hw:0,0"
// (card ids to numbers when ALSA knows the card). Names with other arguments
// (SUBDEV=, rates ...) stay as given.
std::string canonicalPcmName(const std::string& name);

}  // namespace sorvan::alsa
