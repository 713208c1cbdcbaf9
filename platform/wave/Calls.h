// The API calls, once for both directions. WaveFunctions.cpp maps each
// waveIn*/waveOut* function onto one of these.
//
// Every call is shown to its driver's observer, if it has one
// (CallObserver.h): the driver of the stream for calls on a handle, else the
// current driver. A call whose id or handle names nothing is only reported,
// never intercepted. A failed call keeps its reason (Failure.h).
#pragma once

#include "platform/wave/Driver.h"

namespace sorvan::wave::calls {

UINT numDevs(Fn fn);
MMRESULT getDevCaps(Fn fn, UINT_PTR id, void* caps, UINT size);
MMRESULT open(Fn fn, UINT_PTR* handleOut, UINT id, const WAVEFORMATEX* format, DWORD_PTR callback,
              DWORD_PTR instance, DWORD flags);
// Header calls: prepare, unprepare, add buffer, write.
MMRESULT header(Fn fn, UINT_PTR handle, WAVEHDR* header, UINT size);
// Calls on a handle alone: close, start, stop, reset, pause, restart.
MMRESULT control(Fn fn, UINT_PTR handle);
MMRESULT getVolume(UINT_PTR id, DWORD* volume);
MMRESULT setVolume(UINT_PTR id, DWORD volume);

}  // namespace sorvan::wave::calls
