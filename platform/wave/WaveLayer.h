// What the waveform layer offers programs beyond the system's API, so that
// they need no driver's header: the driver in use, devices past the ten the
// components can name, devices taken in by name, and why a device is missing
// or a call failed. Off Windows only.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "platform/WaveApi.h"
#include "platform/wave/Direction.h"
#include "platform/wave/Failure.h"
#include "platform/wave/Registry.h"

namespace sorvan::wave {

// Whether the devices are the built-in virtual ones rather than sound hardware.
bool onVirtualDevices();

// The system the current driver speaks to, with its version; may be empty.
std::string driverSystem();

// Whether a volume set through an open output handle is that stream's
// alone, not the device's (and so not the user's system-wide level).
bool streamsHaveOwnVolume();

// Makes WAVE_MAPPER open device `index` of `direction` in this process, so
// that a component set to the default device reaches a device past its ten.
void mapDefaultDevice(Direction direction, std::size_t index);
// The device mapDefaultDevice chose, if any.
std::optional<std::size_t> mappedDefaultDevice(Direction direction);

// Takes in a device the list leaves out by the name the sound system knows
// it by ("plughw:1"), or finds a listed one spelt otherwise ("hw:CARD=PCH,
// DEV=0" for "hw:0,0"). MMSYSERR_NOERROR and its number in `index`; else the
// code, MMSYSERR_NOTSUPPORTED where the driver takes no names, and the
// reason in lastFailureReason() when there is more to say than "no such device".
MMRESULT addNamedDevice(Direction direction, const std::string& name, std::size_t& index);

// Why the system's own default device is not among the devices, or why there
// are none ("ALSA's \"default\" is busy (another program is using it)");
// empty when nothing is amiss.
std::string whyNoDefault(Direction direction);

// The sound server device `id` (a number or WAVE_MAPPER) is a plug-in to
// ("PipeWire", "PulseAudio"); empty for a device of its own or none.
std::string soundServerOf(Direction direction, UINT_PTR id);

// Whether a volume set on output device `id` (a number or WAVE_MAPPER)
// outlives the program: true where the system keeps it (a sound card's
// mixer), false where the driver scales the samples itself.
bool volumePersists(UINT_PTR id);

}  // namespace sorvan::wave
