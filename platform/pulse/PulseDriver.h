// The "pulse" wave driver: the sound server's sinks and sources (PulseAudio,
// or PipeWire's PulseAudio service) as waveform audio devices.
//
// Selected with sorvan::wave::selectDriver("pulse") or SORVAN_AUDIO=pulse,
// and by "auto" whenever a server answers. libpulse finds the server as
// usual: PULSE_SERVER, else the user's runtime folder (XDG_RUNTIME_DIR).
#pragma once

#include <cstdint>

namespace sorvan::pulse {

// Underruns and capture holes the streams met since the process started.
// Not counted: playback running dry because the application queued nothing.
std::uint64_t xrunCount();

}  // namespace sorvan::pulse
