#include "platform/alsa/Pcm.h"

#include <algorithm>
#include <cerrno>

namespace sorvan::alsa {

namespace {

struct HwParamsDeleter {
    void operator()(snd_pcm_hw_params_t* params) const { snd_pcm_hw_params_free(params); }
};
using HwParams = std::unique_ptr<snd_pcm_hw_params_t, HwParamsDeleter>;

struct SwParamsDeleter {
    void operator()(snd_pcm_sw_params_t* params) const { snd_pcm_sw_params_free(params); }
};
using SwParams = std::unique_ptr<snd_pcm_sw_params_t, SwParamsDeleter>;

HwParams anyHwParams(snd_pcm_t* pcm) {
    snd_pcm_hw_params_t* params = nullptr;
    if (snd_pcm_hw_params_malloc(&params) < 0) return nullptr;
    HwParams owned(params);
    if (snd_pcm_hw_params_any(pcm, params) < 0) return nullptr;
    return owned;
}

// Restricts `params` to the format; 0 or a negative errno.
int restrict(snd_pcm_t* pcm, snd_pcm_hw_params_t* params, const WAVEFORMATEX& format) {
    const snd_pcm_format_t sample = sampleFormat(format.wBitsPerSample);
    if (sample == SND_PCM_FORMAT_UNKNOWN) return -EINVAL;
    if (int e = snd_pcm_hw_params_set_access(pcm, params, SND_PCM_ACCESS_RW_INTERLEAVED); e < 0) {
        return e;
    }
    if (int e = snd_pcm_hw_params_set_format(pcm, params, sample); e < 0) return e;
    if (int e = snd_pcm_hw_params_set_channels(pcm, params, format.nChannels); e < 0) return e;
    return snd_pcm_hw_params_set_rate(pcm, params, format.nSamplesPerSec, 0);
}

int setSoftware(snd_pcm_t* pcm, wave::Direction direction, const Geometry& geometry) {
    snd_pcm_sw_params_t* raw = nullptr;
    if (int e = snd_pcm_sw_params_malloc(&raw); e < 0) return e;
    SwParams params(raw);
    if (int e = snd_pcm_sw_params_current(pcm, raw); e < 0) return e;
    // Poll wakes the stream thread once a period can move.
    if (int e = snd_pcm_sw_params_set_avail_min(pcm, raw, geometry.period); e < 0) return e;
    // Playback starts with the first period, so a short sound still plays
    // once the thread starts it by hand; capture is started explicitly.
    const snd_pcm_uframes_t threshold =
        direction == wave::Direction::output ? geometry.period : geometry.buffer;
    if (int e = snd_pcm_sw_params_set_start_threshold(pcm, raw, threshold); e < 0) return e;
    return snd_pcm_sw_params(pcm, raw);
}

}  // namespace

int openPcm(const std::string& name, wave::Direction direction, Pcm& out) {
    snd_pcm_t* pcm = nullptr;
    const snd_pcm_stream_t stream =
        direction == wave::Direction::input ? SND_PCM_STREAM_CAPTURE : SND_PCM_STREAM_PLAYBACK;
    const int e = snd_pcm_open(&pcm, name.c_str(), stream, SND_PCM_NONBLOCK);
    if (e < 0) return e;
    out.reset(pcm);
    return 0;
}

snd_pcm_format_t sampleFormat(WORD bits) {
    switch (bits) {
        case 8:
            return SND_PCM_FORMAT_U8;
        case 16:
            return SND_PCM_FORMAT_S16_LE;
        case 24:
            return SND_PCM_FORMAT_S24_3LE;
        case 32:
            return SND_PCM_FORMAT_S32_LE;
        default:
            return SND_PCM_FORMAT_UNKNOWN;
    }
}

bool accepts(snd_pcm_t* pcm, const WAVEFORMATEX& format) {
    const HwParams params = anyHwParams(pcm);
    return params != nullptr&& restrict(pcm, params.get(), format) == 0;
}

snd_pcm_uframes_t defaultPeriod(const WAVEFORMATEX& format) {
    return std::max<snd_pcm_uframes_t>(format.nSamplesPerSec / 100, 16);
}

Geometry expectedGeometry(const WAVEFORMATEX& format) {
    const snd_pcm_uframes_t period = defaultPeriod(format);
    return {.period = period, .buffer = 4 * period};
}

int configure(snd_pcm_t* pcm, wave::Direction direction, const WAVEFORMATEX& format,
              snd_pcm_uframes_t period, snd_pcm_uframes_t bufferWanted, Geometry& geometry) {
    const HwParams params = anyHwParams(pcm);
    if (params == nullptr) return -ENOMEM;
    if (int e = restrict(pcm, params.get(), format); e < 0) return e;
    if (int e = snd_pcm_hw_params_set_period_size_near(pcm, params.get(), &period, nullptr);
        e < 0) {
        return e;
    }
    snd_pcm_uframes_t buffer = std::max(period * 4, bufferWanted);
    if (int e = snd_pcm_hw_params_set_buffer_size_near(pcm, params.get(), &buffer); e < 0) {
        return e;
    }
    if (int e = snd_pcm_hw_params(pcm, params.get()); e < 0) return e;
    snd_pcm_hw_params_get_period_size(params.get(), &geometry.period, nullptr);
    snd_pcm_hw_params_get_buffer_size(params.get(), &geometry.buffer);
    geometry.canPause = snd_pcm_hw_params_can_pause(params.get()) == 1;
    geometry.period = std::min(geometry.period, geometry.buffer);
    return setSoftware(pcm, direction, geometry);
}

MMRESULT resultOf(int error) {
    switch (-error) {
        case 0:
            return MMSYSERR_NOERROR;
        case EBUSY:
        case EAGAIN:
            return MMSYSERR_ALLOCATED;
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return MMSYSERR_NODRIVER;
        case ENOMEM:
            return MMSYSERR_NOMEM;
        case EINVAL:
            return WAVERR_BADFORMAT;
        default:
            return MMSYSERR_ERROR;
    }
}

}  // namespace sorvan::alsa
