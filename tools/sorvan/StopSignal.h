// Ctrl-C (SIGINT) and SIGTERM ask long work to stop cleanly: the handler only
// sets a flag, which the message loop looks at on its next tick, so devices
// are closed and the recording file completed on the main thread. A second
// signal ends the program at once.
#pragma once

void InstallStopHandler();
bool StopRequested();
