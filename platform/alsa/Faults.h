// The streams' count of the xruns they recovered from, process-wide
// (xrunCount in AlsaDriver.h reads it). A device that disappears is not
// counted here: the stream tells the core (StreamHost::deviceLost).
#pragma once

namespace sorvan::alsa::faults {

void countXrun();

}  // namespace sorvan::alsa::faults
