// Options several commands share.
#pragma once

#include <CLI/CLI.hpp>
#include <optional>
#include <string>

#include "platform/Win32.h"

// -D/--device NUMBER; unset means the default device.
void AddDeviceOption(CLI::App& command, std::optional<int>& device);

// A volume as 0..65535 or as a percentage ("50%", "12.5%").
CLI::Validator VolumeValue();
// Parses what VolumeValue accepted.
WORD ParseVolume(const std::string& text);
// "32768 (50%)"
std::string DescribeVolume(WORD volume);
