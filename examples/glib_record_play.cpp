// record_play inside a GLib main loop: AttachToGMainContext (glue/GLibLoop.h)
// makes the loop handle the components' notifications.
#include <glib.h>

#include <cstdint>
#include <cstdio>
#include <vector>

#include "components/Sorvan.h"
#include "framework/Forms.h"
#include "glue/GLibLoop.h"

int main() {
    constexpr std::size_t twoSeconds = 2 * 44100 * 2;  // bytes of 16-bit mono at 44.1 kHz
    std::vector<char> take;
    GMainLoop* const loop = g_main_loop_new(nullptr, FALSE);
    sorvan::AttachToGMainContext();  // this thread's messages, from the default context

    TSorvanIn in(nullptr);
    in.SetSamples(44100);
    in.SetBits(16);
    in.SetFileName("take.wav");
    TSorvanOut out(nullptr);
    out.SetSamples(44100);
    out.SetBits(16);

    // Every handler runs on this thread, inside g_main_loop_run() below.
    in.OnData = TSVDataEvent([&](TObject*, char* data, std::int32_t size) {
        take.insert(take.end(), data, data + size);
        if (take.size() >= twoSeconds) in.close();
    });
    in.OnClose = TNotifyEvent([&](TObject*) {
        if (!out.open() || !out.playback(take.data(), static_cast<std::int32_t>(take.size())))
            g_main_loop_quit(loop);
    });
    out.OnDone = TNotifyEvent([&](TObject*) { out.close(); });
    out.OnClose = TNotifyEvent([&](TObject*) { g_main_loop_quit(loop); });

    in.open();
    if (!in.IsCapturing()) {
        std::fprintf(stderr, "cannot record: %s\n", in.LastErrorText().c_str());
        return 1;
    }
    g_main_loop_run(loop);
    g_main_loop_unref(loop);
    if (in.FileError() != 0) std::fprintf(stderr, "take.wav: %s\n", in.FileErrorText().c_str());
    if (out.LastError() != MMSYSERR_NOERROR)
        std::fprintf(stderr, "cannot play: %s\n", out.LastErrorText().c_str());
    return in.FileError() == 0 && out.LastError() == MMSYSERR_NOERROR ? 0 : 1;
}
