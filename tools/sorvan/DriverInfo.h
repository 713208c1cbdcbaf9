// Which audio driver serves the devices: the system's sound devices, or the
// built-in virtual ones (SORVAN_AUDIO=sim, or no sound hardware found).
#pragma once

#include <string>

bool OnVirtualDevices();
// "alsa", or "sim (built-in virtual devices)"
std::string DescribeDriver();
