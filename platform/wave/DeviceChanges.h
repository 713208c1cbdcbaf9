// Tells the application that devices came or went, or that a default moved:
// every notification window of the process gets WM_DEVICECHANGE with
// DBT_DEVNODES_CHANGED, as the system tells every top-level window on
// Windows. A driver only says that something changed; the bursts its server
// or the kernel sends (a headset brings a sink and a source at once) become
// one message.
#pragma once

#include <chrono>

namespace sorvan::wave {

// Changes this close together are told once, this long after the first.
inline constexpr std::chrono::milliseconds deviceChangeBurst{100};

// Any thread, any lock held: returns at once, the message is posted later.
void devicesChanged();

}  // namespace sorvan::wave
