#include "components/SorvanWave.h"

std::int32_t DeviceIndex(TSVDev device) {
    const int ordinal = static_cast<int>(device);
    const int number = ordinal - 1;
    if (ordinal == 0 || number >= 10) return -1;
    return number;
}

UINT WaveDeviceId(TSVDev device) {
    return static_cast<UINT>(DeviceIndex(device));
}

WAVEFORMATEX MakePcmFormat(std::int32_t channels, std::int32_t samples, std::int32_t bits) {
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = static_cast<WORD>(channels);
    format.nSamplesPerSec = static_cast<DWORD>(samples);
    format.wBitsPerSample = static_cast<WORD>(bits);
    const unsigned product = unsigned{format.nChannels} * unsigned{format.wBitsPerSample};
    format.nBlockAlign = static_cast<WORD>(product >> 3);
    format.nAvgBytesPerSec = DWORD{format.nBlockAlign} * format.nSamplesPerSec;
    format.cbSize = 0;
    return format;
}
