// A program built on the library as an application is, with no driver chosen
// in code: it records from the default device if it can, and otherwise says
// why, as the component tells it. CTest runs it under several SORVAN_AUDIO.
#include <cstdio>

#include "components/SorvanIn.h"
#include "platform/WaveApi.h"

int main() {
    TSorvanIn in(nullptr);
    in.open();
    if (!in.IsCapturing()) {
        std::printf("cannot record: %s\n", in.LastErrorText().c_str());
        return 1;
    }
    WAVEINCAPSA caps{};
    waveInGetDevCapsA(WAVE_MAPPER, &caps, sizeof caps);
    std::printf("capturing from %s\n", caps.szPname);
    in.close();
    return 0;
}
