// Opening ALSA PCMs and setting them up for a WAVE PCM format.
#pragma once

#include <alsa/asoundlib.h>

#include <memory>
#include <string>

#include "platform/wave/Driver.h"

namespace sorvan::alsa {

struct PcmCloser {
    void operator()(snd_pcm_t* pcm) const { snd_pcm_close(pcm); }
};
using Pcm = std::unique_ptr<snd_pcm_t, PcmCloser>;

// Opens in non-blocking mode: a busy device fails at once instead of
// holding the caller, and the stream threads wait with poll() themselves.
// Returns 0 or a negative errno.
int openPcm(const std::string& name, wave::Direction direction, Pcm& out);

// The ALSA sample format of a WAVE PCM sample size: 8 bits unsigned, 16,
// 24 (packed in three bytes) and 32 bits signed little-endian.
snd_pcm_format_t sampleFormat(WORD bits);

// Whether the PCM takes this format as it is, rate included.
bool accepts(snd_pcm_t* pcm, const WAVEFORMATEX& format);

struct Geometry {
    snd_pcm_uframes_t period = 0;  // frames per transfer
    snd_pcm_uframes_t buffer = 0;
    bool canPause = false;  // the hardware can hold its position and frames
};

// The period a stream starts with, before it knows the application's buffers.
snd_pcm_uframes_t defaultPeriod(const WAVEFORMATEX& format);

// Sets the hardware and software parameters for `format`; the period is the
// one the device takes nearest to `period` frames, the buffer the one
// nearest to `buffer` frames and at least four periods. Returns 0 or a
// negative errno.
int configure(snd_pcm_t* pcm, wave::Direction direction, const WAVEFORMATEX& format,
              snd_pcm_uframes_t period, snd_pcm_uframes_t buffer, Geometry& geometry);

// What a stream assumes before it is configured: the default period, four of them.
Geometry expectedGeometry(const WAVEFORMATEX& format);

// The waveform API's code for an ALSA error.
MMRESULT resultOf(int error);

}  // namespace sorvan::alsa
