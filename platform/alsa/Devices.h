// The ALSA PCMs offered as wave devices, and what each of them takes.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/wave/Driver.h"

namespace sorvan::alsa {

struct Device {
    std::string pcm;  // the name ALSA opens
    wave::DeviceInfo info;
};

inline constexpr const char* defaultPcm = "default";

// "default", when it opens now: the device WAVE_MAPPER stands for.
std::optional<Device> openingDefault(wave::Direction direction);

// The other PCMs usable for `direction`: those the ALSA configuration hints
// at for that direction (the cards' devices and the configured PCMs), in
// hint order, each if it opens or is only held by another program.
std::vector<Device> enumerateOthers(wave::Direction direction);

// Any PCM by name, hinted or not ("plughw:1", "dmix:CARD=PCH"): 0 with
// `device` filled in when it opens or is only held by another program,
// else the negative errno its open failed with.
int describeNamed(const std::string& pcm, wave::Direction direction, Device& device);

// NOERROR when the PCM takes the format, WAVERR_BADFORMAT when it does not,
// another code when it cannot be opened at all.
MMRESULT checkFormat(const std::string& pcm, wave::Direction direction, const WAVEFORMATEX& format);

// The control device holding the mixer of a PCM's card ("hw:CARD=PCH" for
// "plughw:CARD=PCH,DEV=0", "hw:1" for "dmix:1,0", "default" for "default");
// empty when the PCM names no card.
std::string controlOf(const std::string& pcm);

}  // namespace sorvan::alsa
