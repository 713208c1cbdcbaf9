// Records two seconds from the default input device into take.wav, then plays
// them on the default output device.
#include <cstdint>
#include <cstdio>
#include <vector>

#include "components/Sorvan.h"
#include "framework/Forms.h"

int main() {
    constexpr std::size_t twoSeconds = 2 * 44100 * 2;  // bytes of 16-bit mono at 44.1 kHz
    std::vector<char> take;

    TSorvanIn in(nullptr);  // 1 channel is the default
    in.SetSamples(44100);
    in.SetBits(16);
    in.SetFileName("take.wav");
    TSorvanOut out(nullptr);
    out.SetSamples(44100);
    out.SetBits(16);

    // Every handler runs on this thread, inside Application->Run() below.
    in.OnData = TSVDataEvent([&](TObject*, char* data, std::int32_t size) {
        take.insert(take.end(), data, data + size);  // data is valid during the call only
        if (take.size() >= twoSeconds) in.close();
    });
    in.OnClose = TNotifyEvent([&](TObject*) {  // take.wav is complete now
        if (!out.open() || !out.playback(take.data(), static_cast<std::int32_t>(take.size())))
            Application->Terminate();
    });
    out.OnDone = TNotifyEvent([&](TObject*) { out.close(); });
    out.OnClose = TNotifyEvent([](TObject*) { Application->Terminate(); });

    in.open();
    if (!in.IsCapturing()) {
        std::fprintf(stderr, "cannot record: %s\n", in.LastErrorText().c_str());
        return 1;
    }
    Application->Run();
    if (in.FileError() != 0) std::fprintf(stderr, "take.wav: %s\n", in.FileErrorText().c_str());
    if (out.LastError() != MMSYSERR_NOERROR)
        std::fprintf(stderr, "cannot play: %s\n", out.LastErrorText().c_str());
    return in.FileError() == 0 && out.LastError() == MMSYSERR_NOERROR ? 0 : 1;
}
