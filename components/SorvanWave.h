// The pieces both components share: the device choice, the PCM format block,
// the unit's exception class and the notification-window message numbers.
#pragma once

#include <cstdint>

#include "framework/SysUtils.h"
#include "platform/WaveApi.h"

// Which device a component uses: the mapper, or one of the first ten devices.
enum TSVDev : std::uint8_t {
    wvMapper,
    wvDevice0,
    wvDevice1,
    wvDevice2,
    wvDevice3,
    wvDevice4,
    wvDevice5,
    wvDevice6,
    wvDevice7,
    wvDevice8,
    wvDevice9,
};

// The identifiers of TSVDev by ordinal, as forms write them.
inline constexpr const char* TSVDevNames[] = {
    "wvMapper",  "wvDevice0", "wvDevice1", "wvDevice2", "wvDevice3", "wvDevice4",
    "wvDevice5", "wvDevice6", "wvDevice7", "wvDevice8", "wvDevice9",
};

class EWaveError : public Exception {
  public:
    using Exception::Exception;
};

// The platform device number for a device choice: -1 (WAVE_MAPPER) for
// wvMapper and for any ordinal outside wvDevice0..wvDevice9.
std::int32_t DeviceIndex(TSVDev device);
// The same as the wave calls take it, through UINT as the platform declares
// device numbers, so that the mapper is WAVE_MAPPER and not a full-width -1.
UINT WaveDeviceId(TSVDev device);

// The PCM format block for the components' three format properties. Nothing
// is validated: the device's open call judges the format.
WAVEFORMATEX MakePcmFormat(std::int32_t channels, std::int32_t samples, std::int32_t bits);

// The size every header call is given.
inline constexpr UINT WaveHeaderSize = sizeof(WAVEHDR);
