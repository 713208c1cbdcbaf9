// Options several commands share.
#pragma once

#include <CLI/CLI.hpp>
#include <optional>
#include <string>

#include "platform/Win32.h"

// What -D/--device named: a device number, a device's name as 'sorvan
// devices' lists it, or "default"; unset means the default device.
struct DeviceChoice {
    std::optional<std::string> text;
    bool Chosen() const { return text.has_value(); }
};
void AddDeviceOption(CLI::App& command, DeviceChoice& device);

// A volume as a percentage ("50", "50%", "12.5%") or on the device's own
// scale ("raw:32768").
CLI::Validator VolumeValue();
// Parses what VolumeValue accepted.
WORD ParseVolume(const std::string& text);
// "50 % (raw 32768)"
std::string DescribeVolume(WORD volume);
