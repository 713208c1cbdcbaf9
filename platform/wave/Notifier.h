// Where a stream's notifications go: a window, a function, or nowhere.
#pragma once

#include "platform/WaveApi.h"

namespace sorvan::wave {

class Notifier {
  public:
    Notifier() = default;

    // Builds the notifier for the callback arguments of an open call:
    // MMSYSERR_INVALFLAG for an unknown callback kind, MMSYSERR_NOTSUPPORTED for
    // threads and events, MMSYSERR_INVALPARAM for a window that does not exist.
    // A null window or function, as on Windows, means no notifications.
    static MMRESULT make(DWORD_PTR callback, DWORD_PTR instance, DWORD flags, Notifier& out);

    // Posts one notification; it is delivered later, never inside this call.
    // A window gets (handle, param); a function gets (handle, msg, instance,
    // param, 0), called in posting order on the layer's callback thread.
    void notify(UINT_PTR handle, UINT msg, DWORD_PTR param) const;

  private:
    DWORD kind_ = CALLBACK_NULL;
    DWORD_PTR target_ = 0;
    DWORD_PTR instance_ = 0;
};

}  // namespace sorvan::wave
