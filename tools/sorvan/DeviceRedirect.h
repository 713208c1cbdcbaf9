// The components choose among devices 0 to 9 or the default device (their
// device property is an enumeration). A device numbered 10 or more is
// reached by making it the default device of this process: the current
// driver is wrapped in one that says so and passes everything else on.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "tools/sorvan/Devices.h"

// Makes device `index` of `direction` the one the default device opens.
void RedirectDefaultDevice(Direction direction, std::size_t index);
// The device the default device was made to open, if any: messages name it.
std::optional<std::size_t> RedirectedDevice(Direction direction);

// A device the driver's list leaves out, taken in by the sound system's own
// name (an ALSA PCM such as "plughw:1"): MMSYSERR_NOERROR and its number in
// `index`, else why not (MMSYSERR_NOTSUPPORTED where the driver takes no names).
MMRESULT AddNamedDevice(Direction direction, const std::string& name, std::size_t& index);
