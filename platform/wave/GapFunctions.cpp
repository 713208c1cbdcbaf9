// The gap counts of open streams, by handle.
#include "platform/WaveGaps.h"
#include "platform/wave/Handles.h"

namespace {

MMRESULT gapsOf(UINT_PTR handle, sorvan::wave::Direction direction, WaveGaps* gaps) {
    if (gaps == nullptr) return MMSYSERR_INVALPARAM;
    const auto stream = sorvan::wave::handles::find(handle, direction);
    if (stream == nullptr) return MMSYSERR_INVALHANDLE;
    *gaps = stream->gaps();
    return MMSYSERR_NOERROR;
}

}  // namespace

MMRESULT waveInGetGaps(HWAVEIN hwi, WaveGaps* gaps) {
    return gapsOf(sorvan::wave::handles::value(hwi), sorvan::wave::Direction::input, gaps);
}

MMRESULT waveOutGetGaps(HWAVEOUT hwo, WaveGaps* gaps) {
    return gapsOf(sorvan::wave::handles::value(hwo), sorvan::wave::Direction::output, gaps);
}
