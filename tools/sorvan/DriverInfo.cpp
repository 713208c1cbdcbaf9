#include "tools/sorvan/DriverInfo.h"

#include "platform/wave/WaveLayer.h"
#include "tools/sorvan/CliError.h"

void CheckDriverChoice() {
    if (sorvan::wave::driverMisnamed()) throw CliError(sorvan::wave::driverTrouble());
}

bool OnVirtualDevices() {
    return sorvan::wave::onVirtualDevices();
}

std::string DescribeDriver() {
    if (const std::string trouble = sorvan::wave::driverTrouble(); !trouble.empty())
        return "none (" + trouble + ")";
    if (OnVirtualDevices()) return "sim (built-in virtual devices)";
    const std::string name = sorvan::wave::currentDriverName();
    if (name.empty()) return "system sound devices";
    const std::string system = sorvan::wave::driverSystem();
    return system.empty() ? name : name + " (" + system + ")";
}

bool VolumeOutlivesProgram(TSVDev device) {
    return sorvan::wave::volumePersists(WaveDeviceId(device));
}
