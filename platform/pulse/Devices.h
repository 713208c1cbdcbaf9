// The server's sinks and sources as wave devices.
//
// Outputs are the sinks; inputs are the real sources, then the monitors of
// the sinks. Each group is in the order the server made its devices (its
// index), so the numbers stay as they are while the set of devices does.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/pulse/Connection.h"
#include "platform/wave/Driver.h"

namespace sorvan::pulse {

struct Device {
    std::string name;  // the server's, which streams and volume calls name it by
    wave::DeviceInfo info;
    pa_channel_map map{};
};

struct DeviceList {
    std::vector<Device> inputs;
    std::vector<Device> outputs;
    // The server's defaults, as places in the lists (0 when it names none listed).
    std::size_t defaultInput = 0;
    std::size_t defaultOutput = 0;
    std::string server;  // the server's name and version

    std::vector<Device>& of(wave::Direction direction) {
        return direction == wave::Direction::input ? inputs : outputs;
    }
    const std::vector<Device>& of(wave::Direction direction) const {
        return direction == wave::Direction::input ? inputs : outputs;
    }
};

// Asks the server for its devices as they are now; false when it does not answer.
bool listDevices(const Connection& connection, DeviceList& list);

}  // namespace sorvan::pulse
