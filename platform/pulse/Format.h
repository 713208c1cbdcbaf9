// How wave formats and the server's sample specifications meet.
#pragma once

#include <pulse/pulseaudio.h>

#include <cstdint>

#include "platform/WaveApi.h"

namespace sorvan::pulse {

// The server's sample format for integer PCM of `bits` bits; invalid for
// widths the wave API does not have.
pa_sample_format_t sampleFormatOf(WORD bits);
pa_sample_spec specOf(const WAVEFORMATEX& format);
// The WAVE_FORMAT_* bits a device running at `rate` with `channels`
// channels takes without converting (none for a rate outside the list).
DWORD nativeFormats(std::uint32_t rate, std::uint8_t channels);

}  // namespace sorvan::pulse
