#include "components/WaveCalls.h"

std::string WaveInCalls::LastErrorText() const {
    char text[MAXERRORLENGTH] = "";
    ::waveInGetErrorTextA(LastError(), text, sizeof text);
    return text;
}

std::string WaveOutCalls::LastErrorText() const {
    char text[MAXERRORLENGTH] = "";
    ::waveOutGetErrorTextA(LastError(), text, sizeof text);
    return text;
}
