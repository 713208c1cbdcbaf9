#include "platform/pulse/Volume.h"

#include <algorithm>

namespace sorvan::pulse {

namespace {

constexpr DWORD waveFull = 0xFFFF;

WORD waveLevelOf(pa_volume_t level) {
    const auto capped = std::min<std::uint64_t>(level, PA_VOLUME_NORM);
    return static_cast<WORD>((capped * waveFull + PA_VOLUME_NORM / 2) / PA_VOLUME_NORM);
}

pa_volume_t serverLevelOf(WORD level) {
    return static_cast<pa_volume_t>((std::uint64_t{level} * PA_VOLUME_NORM + waveFull / 2) /
                                    waveFull);
}

enum class Side { left, right, middle };

Side sideOf(pa_channel_position_t position) {
    switch (position) {
        case PA_CHANNEL_POSITION_FRONT_LEFT:
        case PA_CHANNEL_POSITION_REAR_LEFT:
        case PA_CHANNEL_POSITION_FRONT_LEFT_OF_CENTER:
        case PA_CHANNEL_POSITION_SIDE_LEFT:
        case PA_CHANNEL_POSITION_TOP_FRONT_LEFT:
        case PA_CHANNEL_POSITION_TOP_REAR_LEFT:
            return Side::left;
        case PA_CHANNEL_POSITION_FRONT_RIGHT:
        case PA_CHANNEL_POSITION_REAR_RIGHT:
        case PA_CHANNEL_POSITION_FRONT_RIGHT_OF_CENTER:
        case PA_CHANNEL_POSITION_SIDE_RIGHT:
        case PA_CHANNEL_POSITION_TOP_FRONT_RIGHT:
        case PA_CHANNEL_POSITION_TOP_REAR_RIGHT:
            return Side::right;
        default:
            return Side::middle;
    }
}

}  // namespace

// A side is read from its own channels; the middle ones (centre, LFE) follow
// the louder side when set, so they speak for a side only where the device
// has none of its own. Otherwise a 5.1 sink would read back the
// louder side's level for both.
DWORD waveVolumeOf(const pa_cvolume& volume, const pa_channel_map& map) {
    pa_volume_t left = PA_VOLUME_MUTED;
    pa_volume_t right = PA_VOLUME_MUTED;
    pa_volume_t middle = PA_VOLUME_MUTED;
    bool hasLeft = false;
    bool hasRight = false;
    for (unsigned channel = 0; channel < volume.channels && channel < map.channels; ++channel) {
        const pa_volume_t level = volume.values[channel];
        switch (sideOf(map.map[channel])) {
            case Side::left:
                left = std::max(left, level);
                hasLeft = true;
                break;
            case Side::right:
                right = std::max(right, level);
                hasRight = true;
                break;
            case Side::middle:
                middle = std::max(middle, level);
                break;
        }
    }
    // A device with no sides has one level, in the low word, as a device
    // without WAVECAPS_LRVOLUME reports it.
    if (!hasLeft && !hasRight) return waveLevelOf(middle);
    if (!hasLeft) left = middle;
    if (!hasRight) right = middle;
    return waveLevelOf(left) | (DWORD{waveLevelOf(right)} << 16);
}

pa_cvolume serverVolumeOf(DWORD volume, const pa_channel_map& map) {
    const WORD left = static_cast<WORD>(volume & 0xFFFF);
    const WORD right = static_cast<WORD>(volume >> 16);
    pa_cvolume levels{};
    levels.channels = map.channels;
    for (unsigned channel = 0; channel < map.channels; ++channel) {
        const Side side = sideOf(map.map[channel]);
        WORD level = std::max(left, right);
        if (side == Side::left) level = left;
        if (side == Side::right) level = right;
        levels.values[channel] = serverLevelOf(level);
    }
    return levels;
}

}  // namespace sorvan::pulse
