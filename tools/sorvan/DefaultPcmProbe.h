// Why ALSA's default PCM is no device right now. The alsa driver leaves a
// default PCM that does not open out of its list, so a busy default would
// otherwise look like a machine without sound devices.
#pragma once

#include <optional>
#include <string>

#include "tools/sorvan/Devices.h"

// "is busy (another program is using it)" and the like; empty when it
// opens, or when ALSA is not built in.
std::optional<std::string> DefaultPcmTrouble(Direction direction);
