// The waveform audio functions under the system's names.
#include "platform/WaveApi.h"
#include "platform/wave/Calls.h"
#include "platform/wave/Handles.h"

using sorvan::wave::Fn;
namespace calls = sorvan::wave::calls;
using sorvan::wave::handles::value;

UINT waveInGetNumDevs() {
    return calls::numDevs(Fn::waveInGetNumDevs);
}

MMRESULT waveInGetDevCapsA(UINT_PTR uDeviceID, LPWAVEINCAPSA pwic, UINT cbwic) {
    return calls::getDevCaps(Fn::waveInGetDevCapsA, uDeviceID, pwic, cbwic);
}

MMRESULT waveInOpen(HWAVEIN* phwi, UINT uDeviceID, LPCWAVEFORMATEX pwfx, DWORD_PTR dwCallback,
                    DWORD_PTR dwInstance, DWORD fdwOpen) {
    return calls::open(Fn::waveInOpen, reinterpret_cast<UINT_PTR*>(phwi), uDeviceID, pwfx,
                       dwCallback, dwInstance, fdwOpen);
}

MMRESULT waveInClose(HWAVEIN hwi) {
    return calls::control(Fn::waveInClose, value(hwi));
}

MMRESULT waveInPrepareHeader(HWAVEIN hwi, LPWAVEHDR pwh, UINT cbwh) {
    return calls::header(Fn::waveInPrepareHeader, value(hwi), pwh, cbwh);
}

MMRESULT waveInUnprepareHeader(HWAVEIN hwi, LPWAVEHDR pwh, UINT cbwh) {
    return calls::header(Fn::waveInUnprepareHeader, value(hwi), pwh, cbwh);
}

MMRESULT waveInAddBuffer(HWAVEIN hwi, LPWAVEHDR pwh, UINT cbwh) {
    return calls::header(Fn::waveInAddBuffer, value(hwi), pwh, cbwh);
}

MMRESULT waveInStart(HWAVEIN hwi) {
    return calls::control(Fn::waveInStart, value(hwi));
}
MMRESULT waveInStop(HWAVEIN hwi) {
    return calls::control(Fn::waveInStop, value(hwi));
}
MMRESULT waveInReset(HWAVEIN hwi) {
    return calls::control(Fn::waveInReset, value(hwi));
}

UINT waveOutGetNumDevs() {
    return calls::numDevs(Fn::waveOutGetNumDevs);
}

MMRESULT waveOutGetDevCapsA(UINT_PTR uDeviceID, LPWAVEOUTCAPSA pwoc, UINT cbwoc) {
    return calls::getDevCaps(Fn::waveOutGetDevCapsA, uDeviceID, pwoc, cbwoc);
}

MMRESULT waveOutGetVolume(HWAVEOUT hwo, DWORD* pdwVolume) {
    return calls::getVolume(value(hwo), pdwVolume);
}

MMRESULT waveOutSetVolume(HWAVEOUT hwo, DWORD dwVolume) {
    return calls::setVolume(value(hwo), dwVolume);
}

MMRESULT waveOutOpen(HWAVEOUT* phwo, UINT uDeviceID, LPCWAVEFORMATEX pwfx, DWORD_PTR dwCallback,
                     DWORD_PTR dwInstance, DWORD fdwOpen) {
    return calls::open(Fn::waveOutOpen, reinterpret_cast<UINT_PTR*>(phwo), uDeviceID, pwfx,
                       dwCallback, dwInstance, fdwOpen);
}

MMRESULT waveOutClose(HWAVEOUT hwo) {
    return calls::control(Fn::waveOutClose, value(hwo));
}

MMRESULT waveOutPrepareHeader(HWAVEOUT hwo, LPWAVEHDR pwh, UINT cbwh) {
    return calls::header(Fn::waveOutPrepareHeader, value(hwo), pwh, cbwh);
}

MMRESULT waveOutUnprepareHeader(HWAVEOUT hwo, LPWAVEHDR pwh, UINT cbwh) {
    return calls::header(Fn::waveOutUnprepareHeader, value(hwo), pwh, cbwh);
}

MMRESULT waveOutWrite(HWAVEOUT hwo, LPWAVEHDR pwh, UINT cbwh) {
    return calls::header(Fn::waveOutWrite, value(hwo), pwh, cbwh);
}

MMRESULT waveOutReset(HWAVEOUT hwo) {
    return calls::control(Fn::waveOutReset, value(hwo));
}
MMRESULT waveOutPause(HWAVEOUT hwo) {
    return calls::control(Fn::waveOutPause, value(hwo));
}
MMRESULT waveOutRestart(HWAVEOUT hwo) {
    return calls::control(Fn::waveOutRestart, value(hwo));
}
