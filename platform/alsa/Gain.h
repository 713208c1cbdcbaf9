// The output volume the driver applies itself on devices without a mixer.
#pragma once

#include <cstddef>
#include <span>

#include "platform/WaveApi.h"

namespace sorvan::alsa {

inline constexpr DWORD fullVolume = 0xFFFFFFFF;

// Scales interleaved PCM samples in place by a WAVE volume (low word left,
// high word right, 0xFFFF leaves a channel as it is). Even channels follow
// the left word, odd ones the right, so a mono stream follows the left.
void applyVolume(std::span<std::byte> frames, const WAVEFORMATEX& format, DWORD volume);

}  // namespace sorvan::alsa
