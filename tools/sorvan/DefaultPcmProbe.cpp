#include "tools/sorvan/DefaultPcmProbe.h"

#ifdef SORVAN_HAVE_ALSA
#include <alsa/asoundlib.h>

#include <cerrno>
#include <cstring>
#endif

std::optional<std::string> DefaultPcmTrouble([[maybe_unused]] Direction direction) {
#ifdef SORVAN_HAVE_ALSA
    snd_pcm_t* pcm = nullptr;
    const int error =
        snd_pcm_open(&pcm, "default",
                     direction == Direction::input ? SND_PCM_STREAM_CAPTURE : SND_PCM_STREAM_PLAYBACK,
                     SND_PCM_NONBLOCK);
    if (error == 0) {
        snd_pcm_close(pcm);
        return std::nullopt;
    }
    if (error == -EBUSY || error == -EAGAIN) return "is busy (another program is using it)";
    if (error == -ENOENT || error == -ENODEV) return std::nullopt;
    return std::string("cannot be opened (") + snd_strerror(error) + ")";
#else
    return std::nullopt;
#endif
}
