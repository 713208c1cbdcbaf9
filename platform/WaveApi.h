// The waveform audio API the components call: on Windows the system's own
// (winmm), elsewhere ours, under the same names, numbers and record layouts.
#pragma once

#include "platform/Win32.h"

#ifdef _WIN32
#include <mmsystem.h>
#else
#include "platform/posix/MmSystem.h"
#endif
