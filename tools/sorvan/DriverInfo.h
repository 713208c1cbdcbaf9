// Which audio driver serves the devices, as the waveform layer chose it from
// SORVAN_AUDIO: the system's sound devices, the built-in virtual ones, or
// none (and why).
#pragma once

#include <string>

#include "components/SorvanWave.h"

// Raises CliError when SORVAN_AUDIO names no audio driver.
void CheckDriverChoice();

bool OnVirtualDevices();
// "alsa", "sim (built-in virtual devices)", or "none (why)"
std::string DescribeDriver();

// Whether a volume set on the output device `device` selects stays set after
// this program ends (a sound card's mixer), rather than only while it plays.
bool VolumeOutlivesProgram(TSVDev device);
