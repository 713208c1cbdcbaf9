// What both components do with WM_DEVICECHANGE: the system (or, off Windows,
// the platform layer) sends it to every hidden window when devices come or
// go or a default moves.
#pragma once

#include "framework/Events.h"
#include "framework/Messages.h"

// TRUE is what the system expects of a window that does not object: a query
// for permission to remove a device is granted, since a component holds
// nothing that a removal should wait for (its device fails, and it reports
// that, as it would after an unplug). The answer is given here rather than
// left to DefWindowProcA, whose answer differs off Windows.
inline void NotifyDeviceChange(TObject* sender, const TNotifyEvent& handler, TMessage& message) {
    message.Result = TRUE;
    if (handler) handler(sender);
}
