// The devices as the commands show and choose them: listing, the choice the
// -D option makes, and the reason an open failed, in words.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "components/SorvanWave.h"
#include "platform/wave/Direction.h"
#include "tools/sorvan/CommonOptions.h"
#include "tools/sorvan/PcmFormat.h"

using Direction = sorvan::wave::Direction;

struct DeviceSummary {
    int number = 0;
    std::string name;
    int channels = 0;
    DWORD formats = 0;  // WAVE_FORMAT_* bits
    DWORD support = 0;  // WAVECAPS_* bits; output devices only
    std::string server;  // the sound server it is a plug-in to, if any
};

std::vector<DeviceSummary> ListDevices(Direction direction);
// The device the mapper (the default device) stands for, when it can be told.
std::optional<int> DefaultDeviceNumber(Direction direction);

// What the device that `device` selects reports about itself.
std::optional<DeviceSummary> DescribeDevice(Direction direction, TSVDev device);

// The component's device for what -D named (nothing: the default device).
// Raises CliError for a device the machine does not have.
TSVDev ChooseDevice(Direction direction, const DeviceChoice& choice);

// 'input device 0 "Mic"', or 'default input device ("Mic")'.
std::string DeviceLabel(Direction direction, TSVDev device);

// Whether the device would open for `format`, asked without opening it:
// MMSYSERR_NOERROR, WAVERR_BADFORMAT, or why the device cannot be used.
MMRESULT QueryFormat(Direction direction, TSVDev device, const PcmFormat& format);
bool DeviceTakes(Direction direction, TSVDev device, const PcmFormat& format);
// The same for a device by its number, which may be past the components' ten.
bool DeviceNumberTakes(Direction direction, int number, const PcmFormat& format);

// Whether another program holds device `number` (an open fails with "allocated").
bool IsBusy(Direction direction, int number);

// A failed open call's result as a phrase that follows the device's label.
std::string DescribeOpenResult(MMRESULT result, const PcmFormat& format);

// Why the component could not open `device` for `format`, as one phrase
// that follows the device's label ("does not take 96000 Hz, ...").
std::string ExplainOpenFailure(Direction direction, TSVDev device, const PcmFormat& format);
