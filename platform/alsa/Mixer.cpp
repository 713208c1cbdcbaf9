#include "platform/alsa/Mixer.h"

namespace sorvan::alsa {

namespace {

snd_mixer_elem_t* findPlaybackVolume(snd_mixer_t* mixer, const char* name) {
    snd_mixer_selem_id_t* id = nullptr;
    snd_mixer_selem_id_alloca(&id);
    snd_mixer_selem_id_set_index(id, 0);
    snd_mixer_selem_id_set_name(id, name);
    snd_mixer_elem_t* element = snd_mixer_find_selem(mixer, id);
    if (element == nullptr || !snd_mixer_selem_has_playback_volume(element)) return nullptr;
    return element;
}

}  // namespace

std::unique_ptr<Mixer> Mixer::open(const std::string& ctl) {
    snd_mixer_t* mixer = nullptr;
    if (snd_mixer_open(&mixer, 0) < 0) return nullptr;
    if (snd_mixer_attach(mixer, ctl.c_str()) < 0 ||
        snd_mixer_selem_register(mixer, nullptr, nullptr) < 0 || snd_mixer_load(mixer) < 0) {
        snd_mixer_close(mixer);
        return nullptr;
    }
    snd_mixer_elem_t* element = findPlaybackVolume(mixer, "Master");
    if (element == nullptr) element = findPlaybackVolume(mixer, "PCM");
    if (element == nullptr) {
        snd_mixer_close(mixer);
        return nullptr;
    }
    return std::unique_ptr<Mixer>(new Mixer(mixer, element));
}

Mixer::Mixer(snd_mixer_t* mixer, snd_mixer_elem_t* element) : mixer_(mixer), element_(element) {
    snd_mixer_selem_get_playback_volume_range(element_, &min_, &max_);
    stereo_ = !snd_mixer_selem_is_playback_mono(element_);
}

Mixer::~Mixer() {
    snd_mixer_close(mixer_);
}

long Mixer::toRaw(DWORD level) const {
    return min_ +
           static_cast<long>((static_cast<long long>(level) * (max_ - min_) + 0x7FFF) / 0xFFFF);
}

DWORD Mixer::fromRaw(long raw) const {
    if (max_ <= min_) return 0xFFFF;
    return static_cast<DWORD>((static_cast<long long>(raw - min_) * 0xFFFF + (max_ - min_) / 2) /
                              (max_ - min_));
}

bool Mixer::set(DWORD volume) {
    std::lock_guard lock(mutex_);
    const long left = toRaw(volume & 0xFFFF);
    const long right = stereo_ ? toRaw(volume >> 16) : left;
    if (snd_mixer_selem_set_playback_volume(element_, SND_MIXER_SCHN_FRONT_LEFT, left) < 0) {
        return false;
    }
    if (stereo_ &&
        snd_mixer_selem_set_playback_volume(element_, SND_MIXER_SCHN_FRONT_RIGHT, right) < 0) {
        return false;
    }
    hasSet_ = true;
    lastSet_ = volume;
    lastLeft_ = left;
    lastRight_ = right;
    return true;
}

bool Mixer::get(DWORD& volume) {
    std::lock_guard lock(mutex_);
    snd_mixer_handle_events(mixer_);
    long left = 0;
    long right = 0;
    if (snd_mixer_selem_get_playback_volume(element_, SND_MIXER_SCHN_FRONT_LEFT, &left) < 0) {
        return false;
    }
    right = left;
    if (stereo_) snd_mixer_selem_get_playback_volume(element_, SND_MIXER_SCHN_FRONT_RIGHT, &right);
    if (hasSet_ && left == lastLeft_ && right == lastRight_) {
        volume = lastSet_;
    } else {
        volume = fromRaw(left) | fromRaw(right) << 16;
    }
    return true;
}

}  // namespace sorvan::alsa
