// The Windows base types and the window-message functions the components use.
// On Windows they are the system's own; elsewhere the project supplies the same
// names, numbers and record layouts.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include "platform/posix/WinTypes.h"
#include "platform/posix/WinUser.h"
#endif
