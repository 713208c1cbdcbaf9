// Sorvan inside a GLib main loop (GTK, GStreamer, GIO, D-Bus services): one
// call makes the context's loop serve the calling thread's message queue.
//
// Header only and optional: the application brings GLib (pkg-config
// glib-2.0); sorvanrt does not link it. Off Windows only.
#pragma once

#include <glib-unix.h>
#include <glib.h>

#include "framework/Forms.h"

namespace sorvan {

// Call on the thread that owns the components and iterates `context` (null:
// the global default context, the one g_main_loop_new(nullptr, ...) runs).
// Whenever a message waits for this thread, the loop calls
// Application->ProcessMessages(), so every handler runs inside the loop, on
// this thread. The source's id in `context`, or 0 when the system refused
// the queue a descriptor. Detach with g_source_remove(id) for the default
// context, g_source_destroy(g_main_context_find_source_by_id(context, id))
// for another.
inline guint AttachToGMainContext(GMainContext* context = nullptr,
                                  gint priority = G_PRIORITY_DEFAULT) {
    const int queue = Application->QueueDescriptor();
    if (queue < 0) return 0;
    GSource* source = g_unix_fd_source_new(queue, G_IO_IN);
    const GUnixFDSourceFunc dispatch = [](gint, GIOCondition, gpointer) -> gboolean {
        Application->ProcessMessages();
        return G_SOURCE_CONTINUE;
    };
    g_source_set_callback(source, G_SOURCE_FUNC(dispatch), nullptr, nullptr);
    g_source_set_priority(source, priority);
    g_source_set_name(source, "Sorvan message queue");
    const guint id = g_source_attach(source, context);
    g_source_unref(source);
    return id;
}

}  // namespace sorvan
