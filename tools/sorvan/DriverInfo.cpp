#include "tools/sorvan/DriverInfo.h"

#include <cstdlib>

#include "platform/sim/SimDriver.h"
#include "platform/wave/Driver.h"

bool OnVirtualDevices() {
    return sorvan::wave::currentDriver() == sorvan::sim::SimDriver::instance();
}

std::string DescribeDriver() {
    if (OnVirtualDevices()) return "sim (built-in virtual devices)";
    const char* wanted = std::getenv("SORVAN_AUDIO");
    return wanted && *wanted ? wanted : "system sound devices";
}
