// The volume of one output device: its card's mixer when it has one, else a
// gain the device's streams apply to the samples they play.
#pragma once

#include <atomic>
#include <memory>

#include "platform/alsa/Gain.h"
#include "platform/alsa/Mixer.h"

namespace sorvan::alsa {

class OutputVolume {
  public:
    explicit OutputVolume(std::unique_ptr<Mixer> mixer) : mixer_(std::move(mixer)) {}

    MMRESULT get(DWORD& volume) {
        if (mixer_ == nullptr) {
            volume = gain_.load(std::memory_order_relaxed);
            return MMSYSERR_NOERROR;
        }
        return mixer_->get(volume) ? MMSYSERR_NOERROR : MMSYSERR_ERROR;
    }

    MMRESULT set(DWORD volume) {
        if (mixer_ == nullptr) {
            gain_.store(volume, std::memory_order_relaxed);
            return MMSYSERR_NOERROR;
        }
        return mixer_->set(volume) ? MMSYSERR_NOERROR : MMSYSERR_ERROR;
    }

    // A card's mixer keeps what it was set to after the program ends; the
    // driver's own gain does not.
    bool persists() const { return mixer_ != nullptr; }

    // What the streams scale their samples by; full when the mixer does it.
    DWORD gain() const { return gain_.load(std::memory_order_relaxed); }

  private:
    std::unique_ptr<Mixer> mixer_;
    std::atomic<DWORD> gain_{fullVolume};
};

}  // namespace sorvan::alsa
