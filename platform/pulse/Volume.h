// Wave volumes (low word left, high word right, 0..0xFFFF) and the
// server's per-channel volumes. 0xFFFF is the server's 100 %, and the scale
// is the one its own mixers show, so a level set here reads the same in
// the desktop's volume control and in `pactl`.
#pragma once

#include <pulse/pulseaudio.h>

#include "platform/WaveApi.h"

namespace sorvan::pulse {

// Left from the channels on the left and in the middle, right likewise.
DWORD waveVolumeOf(const pa_cvolume& volume, const pa_channel_map& map);
// Every channel on the left gets the left level, those on the right the
// right level, the rest the louder of the two.
pa_cvolume serverVolumeOf(DWORD volume, const pa_channel_map& map);

}  // namespace sorvan::pulse
