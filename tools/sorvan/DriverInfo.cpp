#include "tools/sorvan/DriverInfo.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "platform/wave/Driver.h"
#include "tools/sorvan/AlsaNames.h"
#include "tools/sorvan/CliError.h"

namespace {

// Whether the user chose the driver through SORVAN_AUDIO (not "auto").
bool driverAskedFor = false;

std::string Lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

}  // namespace

void SelectDriverFromEnvironment() {
    const char* wanted = std::getenv("SORVAN_AUDIO");
    if (!wanted || !*wanted) return;
    const std::string name = Lowered(wanted);
    const auto names = sorvan::wave::driverNames();
    if (std::find(names.begin(), names.end(), name) == names.end()) {
        std::string accepted;
        for (const auto& known : names) accepted += (accepted.empty() ? "" : ", ") + known;
        throw CliError("SORVAN_AUDIO=" + std::string(wanted) + " names no audio driver (use " +
                       accepted + ")");
    }
    sorvan::wave::selectDriver(name);
    driverAskedFor = name != "auto";
}

bool OnVirtualDevices() {
    return sorvan::wave::currentDriver()->isVirtual();
}

bool FellBackToVirtualDevices() {
    return OnVirtualDevices() && !driverAskedFor;
}

// Why the virtual devices stand in: a default held by another program is a
// sound device all the same, and the user should know it is there.
std::string WhyNoSoundDevice() {
    for (const Direction direction : {Direction::input, Direction::output})
        if (const auto trouble = DefaultPcmTrouble(direction))
            return "ALSA's \"default\" " + *trouble + " and no other sound device was found";
    return "no sound device was found";
}

std::string DescribeDriver() {
    if (FellBackToVirtualDevices())
        return "sim (built-in virtual devices: " + WhyNoSoundDevice() + ")";
    if (OnVirtualDevices()) return "sim (built-in virtual devices)";
    const std::string name = sorvan::wave::currentDriverName();
    return name.empty() ? "system sound devices" : name;
}

bool VolumeOutlivesProgram(TSVDev device) {
    const auto driver = sorvan::wave::currentDriver();
    const std::size_t count = driver->deviceCount(sorvan::wave::Direction::output);
    if (count == 0) return false;
    const std::int32_t index = DeviceIndex(device);
    // The default device is the one the driver names, as the wave calls take it.
    const std::size_t chosen =
        index < 0 ? std::min(driver->defaultDevice(sorvan::wave::Direction::output), count - 1)
                  : static_cast<std::size_t>(index);
    return chosen < count && driver->volumePersists(chosen);
}

void AnnounceVirtualDevices(bool deviceChosen) {
    if (!FellBackToVirtualDevices()) return;
    const std::string why = WhyNoSoundDevice();
    if (deviceChosen)
        throw CliError(why +
                       ", so the device asked for is not there (only the built-in virtual "
                       "devices are; SORVAN_AUDIO=sim uses them)");
    std::fprintf(stderr,
                 "sorvan: %s: using the built-in virtual devices (a 440 Hz tone in, nothing "
                 "out); SORVAN_AUDIO=alsa makes this an error\n",
                 why.c_str());
}
