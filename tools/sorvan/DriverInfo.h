// Which audio driver serves the devices: the system's sound devices, or the
// built-in virtual ones (SORVAN_AUDIO=sim, or no sound hardware found).
#pragma once

#include <string>

#include "components/SorvanWave.h"

// Chooses the driver named by SORVAN_AUDIO (any letter case). Raises
// CliError for a name that is no driver, listing the names there are.
void SelectDriverFromEnvironment();

bool OnVirtualDevices();
// The virtual devices are in use although nobody asked for them.
bool FellBackToVirtualDevices();
// "alsa", or "sim (built-in virtual devices)"
std::string DescribeDriver();

// Whether a volume set on the output device `device` selects stays set after
// this program ends (a sound card's mixer), rather than only while it plays.
bool VolumeOutlivesProgram(TSVDev device);

// Says on stderr, once, that the work runs on the virtual devices when the
// user did not ask for them; with `deviceChosen` (a -D option) that is an
// error instead, since the device meant is not there.
void AnnounceVirtualDevices(bool deviceChosen);
