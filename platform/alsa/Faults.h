// What the streams report about their devices: xruns and devices that
// disappeared. Handles are never reused, so one process-wide record serves
// every driver object.
#pragma once

#include "platform/wave/Driver.h"

namespace sorvan::alsa::faults {

void countXrun();

// The device under the open stream `handle` is gone. Its queued headers are
// returned (by a reset made on a thread of its own, since the stream's own
// thread must never wait for the core), and from now on every call on the
// handle but close and unprepare fails with MMSYSERR_NODRIVER.
void deviceLost(UINT_PTR handle, wave::Direction direction);

// The code a call on the handle must fail with, if it must fail.
std::optional<MMRESULT> refusal(const wave::Driver::Call& call);

// The handle is closed; nothing needs remembering about it.
void forget(UINT_PTR handle);

}  // namespace sorvan::alsa::faults
