// Why a wave call failed, in the words of the driver that served it: the
// code says what kind of failure it was, the reason says what happened
// ("ALSA's \"default\" cannot be opened (Host is down)").
//
// The reason is kept per thread: each call starts with none, a driver (or
// the core) gives one while it serves the call, and a call that fails keeps
// it for lastFailureReason() until the next failed call on that thread.
#pragma once

#include <string>

namespace sorvan::wave {

// For drivers and the core, while serving a call that is about to fail.
void explainFailure(std::string reason);

// Why the most recent failed wave call on this thread failed; empty when
// nobody could say more than its code.
std::string lastFailureReason();

}  // namespace sorvan::wave
