// record_play with a poll() loop of the program's own: the thread's message
// queue is one more descriptor beside the program's others (here standard
// input, where a line ends the recording early). Off Windows only.
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "components/Sorvan.h"
#include "framework/Forms.h"

int main() {
    constexpr std::size_t twoSeconds = 2 * 44100 * 2;  // bytes of 16-bit mono at 44.1 kHz
    std::vector<char> take;
    bool finished = false;

    TSorvanIn in(nullptr);
    in.SetSamples(44100);
    in.SetBits(16);
    in.SetFileName("take.wav");
    TSorvanOut out(nullptr);
    out.SetSamples(44100);
    out.SetBits(16);

    // Every handler runs on this thread, inside ProcessMessages() below.
    in.OnData = TSVDataEvent([&](TObject*, char* data, std::int32_t size) {
        take.insert(take.end(), data, data + size);
        if (take.size() >= twoSeconds) in.close();
    });
    in.OnClose = TNotifyEvent([&](TObject*) {
        if (!out.open() || !out.playback(take.data(), static_cast<std::int32_t>(take.size())))
            finished = true;
    });
    out.OnDone = TNotifyEvent([&](TObject*) { out.close(); });
    out.OnClose = TNotifyEvent([&](TObject*) { finished = true; });

    in.open();
    if (!in.IsCapturing()) {
        std::fprintf(stderr, "cannot record: %s\n", in.LastErrorText().c_str());
        return 1;
    }
    // The loop: ready when a message waits for this thread.
    pollfd watched[] = {{Application->QueueDescriptor(), POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
    while (!finished) {
        if (poll(watched, 2, -1) < 0 && errno != EINTR) return 1;
        if (watched[0].revents & POLLIN) Application->ProcessMessages();
        if (watched[1].revents & (POLLIN | POLLHUP)) {
            char line[256];
            if (read(STDIN_FILENO, line, sizeof line) > 0 && in.IsOpen()) in.close();
            watched[1].fd = -1;  // watched no more
        }
    }
    if (in.FileError() != 0) std::fprintf(stderr, "take.wav: %s\n", in.FileErrorText().c_str());
    if (out.LastError() != MMSYSERR_NOERROR)
        std::fprintf(stderr, "cannot play: %s\n", out.LastErrorText().c_str());
    return in.FileError() == 0 && out.LastError() == MMSYSERR_NOERROR ? 0 : 1;
}
