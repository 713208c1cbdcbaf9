// Driver selection: the one reader of SORVAN_AUDIO.
//
// The names are "auto", "sim" and those registered ("alsa" when it is
// compiled in), in any letter case. "auto" takes the first registered driver
// other than the sim that has a device. It never falls back on the virtual
// devices: where no real device is to be had, and for a name that is no
// driver, a driver without devices takes the place, and every wave call that
// names a device fails with the reason (Failure.h). The virtual devices come
// when asked for: SORVAN_AUDIO=sim, selectDriver("sim"), or sim::setUp.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/wave/DriverContract.h"

namespace sorvan::wave {

using DriverFactory = std::function<std::shared_ptr<Driver>()>;

// Registers a driver under `name`; a static object in the driver's source
// file calls it, e.g.
//   const bool registered = sorvan::wave::registerDriver("alsa", [] {...});
bool registerDriver(std::string_view name, DriverFactory factory);
std::vector<std::string> driverNames();

// Chooses the driver for streams opened from now on (open streams keep
// theirs). False, and nothing changes, for a name that is no driver.
// Without a call, the first API call chooses by the environment variable
// SORVAN_AUDIO, or "auto" when it is unset or empty.
bool selectDriver(std::string_view name);
// Puts a driver object in place directly (the sim driver uses this).
void useDriver(std::shared_ptr<Driver> driver);
std::shared_ptr<Driver> currentDriver();
// The name the current driver was registered under ("alsa", "sim"), found
// by the choice above; empty for a driver put in place with useDriver, and
// when no driver could be had.
std::string currentDriverName();
// Why no driver could be had ("SORVAN_AUDIO=bogus names no audio driver
// (use auto, sim, alsa)", "no sound device was found: ..."); empty while a
// driver is in place.
std::string driverTrouble();
// Whether that is because SORVAN_AUDIO names no driver.
bool driverMisnamed();

// What a driver's factory returns when the system it speaks to does not
// answer: no devices, and `reason` for every call that wants one.
std::shared_ptr<Driver> unreachableDriver(std::string reason);

}  // namespace sorvan::wave
