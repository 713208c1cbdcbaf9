#include "components/WaveCalls.h"

#include <cctype>

#ifndef _WIN32
#include "platform/wave/Failure.h"
#endif

std::string WaveFailureRecord::DriverReason() {
#ifdef _WIN32
    return {};
#else
    return sorvan::wave::lastFailureReason();
#endif
}

// The reason as a sentence of its own after the system's text.
std::string WaveFailureRecord::Described(const char* systemText) const {
    std::string text = systemText;
    if (lastReason_.empty()) return text;
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
