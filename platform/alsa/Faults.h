// What the streams report about their devices: xruns, counted process-wide.
// A device that disappears is reported to the core (StreamHost::deviceLost).
#pragma once

namespace sorvan::alsa::faults {

void countXrun();

}  // namespace sorvan::alsa::faults
