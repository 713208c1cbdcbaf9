// Ctrl-C (SIGINT) and SIGTERM ask long work to stop cleanly: the handler only
// sets a flag, which the message loop looks at on its next tick, so devices
// are closed and the recording file completed on the main thread. A second
// signal ends the program at once.
#pragma once

#include <string>

void InstallStopHandler();
bool StopRequested();
// How the stop was asked for, for messages: "Ctrl-C" or "SIGTERM".
std::string StopSignalName();
