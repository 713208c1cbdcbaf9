// What the program asks ALSA itself, beside the wave driver: the names a
// user gives -D (as aplay -L lists them) matched to the devices' names, and
// why the default PCM is no device right now (the alsa driver leaves a
// default that does not open out of its list, so a busy default would
// otherwise look like a machine without sound devices).
#pragma once

#include <optional>
#include <string>

#include "tools/sorvan/Devices.h"

// One spelling for the names ALSA takes for the same device:
// "hw:CARD=PCH,DEV=0", "hw:PCH,0", "hw:0,0" and "hw:0" all become "hw:0,0"
// (card ids to numbers when ALSA knows the card). Other names stay as given.
std::string CanonicalPcmName(const std::string& name);

// Why ALSA's PCM `name` does not open, as a phrase after its name: "is busy
// (another program is using it)", "cannot be opened (Connection refused)".
// Empty when it opens, when ALSA knows no such device, or when ALSA is not
// built in.
std::optional<std::string> PcmTrouble(const std::string& name, Direction direction);
std::optional<std::string> DefaultPcmTrouble(Direction direction);
