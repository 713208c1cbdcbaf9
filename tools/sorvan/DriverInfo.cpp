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
    return name.empty() ? "system sound devices" : name;
}

bool VolumeOutlivesProgram(TSVDev device) {
    return sorvan::wave::volumePersists(WaveDeviceId(device));
}
