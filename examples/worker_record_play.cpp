// record_play with a worker thread in command: the components live on the
// main thread, which runs Application->Run(); the worker gets a copy of every
// buffer and, once it holds two seconds, has the recording closed through a
// queued call, since a component's methods are refused on any other thread.
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

#include "components/Sorvan.h"
#include "framework/Forms.h"

int main() {
    constexpr std::size_t twoSeconds = 2 * 44100 * 2;  // bytes of 16-bit mono at 44.1 kHz
    std::mutex lock;
    std::condition_variable arrived;
    std::vector<char> take;  // under lock
    bool recording = true;   // under lock

    TSorvanIn in(nullptr);
    in.SetSamples(44100);
    in.SetBits(16);
    in.SetFileName("take.wav");
    TSorvanOut out(nullptr);
    out.SetSamples(44100);
    out.SetBits(16);

    in.OnData = TSVDataEvent([&](TObject*, char* data, std::int32_t size) {
        const std::lock_guard held(lock);
        take.insert(take.end(), data, data + size);
        arrived.notify_one();
    });
    in.OnClose = TNotifyEvent([&](TObject*) {
        const std::lock_guard held(lock);
        recording = false;
        arrived.notify_one();
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
    std::thread worker([&] {
        std::unique_lock held(lock);
        arrived.wait(held, [&] { return take.size() >= twoSeconds || !recording; });
        // in.close() here would be refused (in.LastError() == MMSYSERR_HANDLEBUSY):
        // the call is queued to the thread that owns `in` instead.
        if (recording) in.Queue([&in] { in.close(); });
    });
    Application->Run();
    worker.join();
    if (in.FileError() != 0) std::fprintf(stderr, "take.wav: %s\n", in.FileErrorText().c_str());
    if (out.LastError() != MMSYSERR_NOERROR)
        std::fprintf(stderr, "cannot play: %s\n", out.LastErrorText().c_str());
    return in.FileError() == 0 && out.LastError() == MMSYSERR_NOERROR ? 0 : 1;
}
