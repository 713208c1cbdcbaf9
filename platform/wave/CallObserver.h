// Watching the API calls: a test hook, not part of the driver contract. The
// virtual devices (platform/sim) log every call made on them and may make a
// call fail before the core does anything; no other driver is watched.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "platform/WaveApi.h"
#include "platform/wave/DriverContract.h"

namespace sorvan::wave {

// The API functions, named as the system names them; one list for the enum
// and the names.
#define SORVAN_WAVE_FUNCTIONS(X)                                                              \
    X(waveInGetNumDevs) X(waveInGetDevCapsA) X(waveInOpen) X(waveInClose)                     \
    X(waveInPrepareHeader) X(waveInUnprepareHeader) X(waveInAddBuffer) X(waveInStart)         \
    X(waveInStop) X(waveInReset) X(waveOutGetNumDevs) X(waveOutGetDevCapsA)                   \
    X(waveOutGetVolume) X(waveOutSetVolume) X(waveOutOpen) X(waveOutClose)                    \
    X(waveOutPrepareHeader) X(waveOutUnprepareHeader) X(waveOutWrite) X(waveOutReset)         \
    X(waveOutPause) X(waveOutRestart)

#define SORVAN_WAVE_ENUMERATOR(fn) fn,
enum class Fn { SORVAN_WAVE_FUNCTIONS(SORVAN_WAVE_ENUMERATOR) };
#undef SORVAN_WAVE_ENUMERATOR

std::string_view name(Fn fn);
Direction directionOf(Fn fn);

// One API call as it was made: the arguments that apply to `fn`, the rest 0.
struct Call {
    Fn fn{};
    UINT_PTR handle = 0;    // the handle passed (or written by a successful open)
    UINT_PTR deviceId = 0;  // the id passed to open, caps and volume calls
    // The device the call concerns, when the id or handle names one.
    std::optional<std::size_t> device;
    const WAVEHDR* header = nullptr;
    UINT size = 0;    // header or caps record size passed
    DWORD flags = 0;  // open flags
    DWORD_PTR callback = 0;
    DWORD_PTR instance = 0;
    DWORD volume = 0;                    // the value set, or the value got on success
    std::optional<WAVEFORMATEX> format;  // a copy of the open call's format
    bool nullPointer = false;            // the handle/caps/volume pointer argument was null
};

class CallObserver {
  public:
    // Before the core does anything with a call that names one of the
    // driver's devices or streams: a code makes the call fail with it.
    virtual std::optional<MMRESULT> intercept(const Call&) = 0;
    // Every call the driver served (or would have, had it named a device),
    // with its result; the count for waveInGetNumDevs/waveOutGetNumDevs.
    virtual void returned(const Call&, MMRESULT) = 0;

  protected:
    ~CallObserver() = default;
};

// From now on the calls `driver` serves are shown to `observer`. One pair per
// process; both must live until the process ends.
void observeCalls(const Driver& driver, CallObserver& observer);
// The observer of `driver`'s calls, null for a driver nobody watches.
CallObserver* observerOf(const Driver& driver);

}  // namespace sorvan::wave
