// record_play inside a Qt event loop: AttachToQt (glue/QtLoop.h) makes the
// loop handle the components' notifications.
#include <QCoreApplication>

#include <cstdint>
#include <cstdio>
#include <vector>

#include "components/Sorvan.h"
#include "framework/Forms.h"
#include "glue/QtLoop.h"

int main(int argc, char** argv) {
    constexpr std::size_t twoSeconds = 2 * 44100 * 2;  // bytes of 16-bit mono at 44.1 kHz
    std::vector<char> take;
    QCoreApplication app(argc, argv);
    sorvan::AttachToQt(&app);  // this thread's messages, from app's loop

    TSorvanIn in(nullptr);
    in.SetSamples(44100);
    in.SetBits(16);
    in.SetFileName("take.wav");
    TSorvanOut out(nullptr);
    out.SetSamples(44100);
    out.SetBits(16);

    // Every handler runs on this thread, inside app.exec() below.
    in.OnData = TSVDataEvent([&](TObject*, char* data, std::int32_t size) {
        take.insert(take.end(), data, data + size);
        if (take.size() >= twoSeconds) in.close();
    });
    in.OnClose = TNotifyEvent([&](TObject*) {
        if (!out.open() || !out.playback(take.data(), static_cast<std::int32_t>(take.size())))
            app.quit();
    });
    out.OnDone = TNotifyEvent([&](TObject*) { out.close(); });
    out.OnClose = TNotifyEvent([&](TObject*) { app.quit(); });

    in.open();
    if (!in.IsCapturing()) {
        std::fprintf(stderr, "cannot record: %s\n", in.LastErrorText().c_str());
        return 1;
    }
    const int status = app.exec();
    if (in.FileError() != 0) std::fprintf(stderr, "take.wav: %s\n", in.FileErrorText().c_str());
    if (out.LastError() != MMSYSERR_NOERROR)
        std::fprintf(stderr, "cannot play: %s\n", out.LastErrorText().c_str());
    return status == 0 && in.FileError() == 0 && out.LastError() == MMSYSERR_NOERROR ? 0 : 1;
}
