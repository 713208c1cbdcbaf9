#include "components/WaveCalls.h"

namespace {

// A system without a text of its own for the refusal (Wine has none) still
// says why.
std::string TextOr(const char* text, MMRESULT code) {
    if (text[0] == '\0' && code == MMSYSERR_HANDLEBUSY)
        return "The handle is being used simultaneously on another thread (for example, a "
               "callback).";
    return text;
}

}  // namespace

std::string WaveInCalls::LastErrorText() const {
    char text[MAXERRORLENGTH] = "";
    const MMRESULT code = LastError();
    ::waveInGetErrorTextA(code, text, sizeof text);
    return TextOr(text, code);
}

std::string WaveOutCalls::LastErrorText() const {
    char text[MAXERRORLENGTH] = "";
    const MMRESULT code = LastError();
    ::waveOutGetErrorTextA(code, text, sizeof text);
    return TextOr(text, code);
}
