// sorvan devices --watch: the list again at every device change, until the
// user stops it.
#pragma once

#include <functional>

// Calls `list` at once and again each time the components are told of a
// device change (a device came or went, a default moved), until Ctrl-C or
// SIGTERM, which ends the watch as the normal way out.
void WatchDevices(const std::function<void()>& list);
