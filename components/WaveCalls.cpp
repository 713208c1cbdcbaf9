#include "components/WaveCalls.h"

#include <cctype>

#ifndef _WIN32
#include "platform/wave/Failure.h"
#endif

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

std::string WaveFailureRecord::DriverReason() {
#ifdef _WIN32
    return {};
#else
    return sorvan::wave::lastFailureReason();
#endif
}

// The reason as a sentence of its own after the system's text.
std::string WaveFailureRecord::Described(const char* systemText) const {
    const MMRESULT code = LastError();
    std::string text = TextOr(systemText, code);
    if (lastReason_.empty() || reasonFor_ != code) return text;
    std::string reason = lastReason_;
    reason.front() = static_cast<char>(std::toupper(static_cast<unsigned char>(reason.front())));
    if (reason.back() != '.') reason += '.';
    return text.empty() ? reason : text + " " + reason;
}

std::string WaveInCalls::LastErrorText() const {
    char text[MAXERRORLENGTH] = "";
    ::waveInGetErrorTextA(LastError(), text, sizeof text);
    return Described(text);
}

std::string WaveOutCalls::LastErrorText() const {
    char text[MAXERRORLENGTH] = "";
    ::waveOutGetErrorTextA(LastError(), text, sizeof text);
    return Described(text);
}
