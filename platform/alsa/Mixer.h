// The playback volume control of a sound card.
#pragma once

#include <alsa/asoundlib.h>

#include <memory>
#include <mutex>
#include <string>

#include "platform/WaveApi.h"

namespace sorvan::alsa {

class Mixer {
  public:
    // The "Master" control of the control device `ctl` (for example
    // "hw:CARD=PCH" or "default"), else its "PCM" control; null when the
    // device has neither with a playback volume.
    static std::unique_ptr<Mixer> open(const std::string& ctl);
    ~Mixer();
    Mixer(const Mixer&) = delete;
    Mixer& operator=(const Mixer&) = delete;

    // WAVE volumes: low word left, high word right, 0..0xFFFF.
    bool set(DWORD volume);
    // The value last set, as long as the control still holds what it was
    // set to (its steps are coarser than the WAVE range); else the
    // control's own position.
    bool get(DWORD& volume);

  private:
    Mixer(snd_mixer_t* mixer, snd_mixer_elem_t* element);
    long toRaw(DWORD level) const;
    DWORD fromRaw(long raw) const;

    std::mutex mutex_;
    snd_mixer_t* mixer_;
    snd_mixer_elem_t* element_;
    long min_ = 0;
    long max_ = 0;
    bool stereo_ = false;
    bool hasSet_ = false;
    DWORD lastSet_ = 0;
    long lastLeft_ = 0;
    long lastRight_ = 0;
};

}  // namespace sorvan::alsa
