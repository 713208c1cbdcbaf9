// Sorvan inside a Qt event loop (QCoreApplication, QGuiApplication,
// QApplication, or a QThread's exec()): one call makes the loop of the
// calling thread serve its message queue, through a QSocketNotifier.
//
// Header only and optional: the application brings Qt (Qt6 or Qt5 Core);
// sorvanrt does not link it. Off Windows only.
#pragma once

#include <QObject>
#include <QSocketNotifier>

#include "framework/Forms.h"

namespace sorvan {

// Call on the thread that owns the components and runs the Qt event loop.
// Whenever a message waits for this thread, the loop calls
// Application->ProcessMessages(), so every handler runs inside the loop, on
// this thread. Returns the notifier, owned by `parent` (yours to delete when
// null; deleting it detaches), or null when the system refused the queue a
// descriptor.
inline QSocketNotifier* AttachToQt(QObject* parent = nullptr) {
    const int queue = Application->QueueDescriptor();
    if (queue < 0) return nullptr;
    auto* notifier = new QSocketNotifier(queue, QSocketNotifier::Read, parent);
    QObject::connect(notifier, &QSocketNotifier::activated, notifier,
                     [] { Application->ProcessMessages(); });
    return notifier;
}

}  // namespace sorvan
