#include "tools/sorvan/AlsaNames.h"

#include <algorithm>

#ifdef SORVAN_HAVE_ALSA
#include <alsa/asoundlib.h>

#include <cerrno>
#include <cstring>
#endif

namespace {

// The card as a number when ALSA knows it by that id or number.
std::string CardNumber(const std::string& card) {
#ifdef SORVAN_HAVE_ALSA
    const int index = snd_card_get_index(card.c_str());
    if (index >= 0) return std::to_string(index);
#endif
    return card;
}

}  // namespace

std::string CanonicalPcmName(const std::string& name) {
    const auto colon = name.find(':');
    if (colon == std::string::npos || colon == 0) return name;
    // "CARD=x,DEV=y" or "x,y": card first, device second (0 when left out).
    std::string card;
    std::string device = "0";
    std::size_t at = colon + 1;
    for (int position = 0; at <= name.size(); ++position) {
        const auto comma = std::min(name.find(',', at), name.size());
        std::string part = name.substr(at, comma - at);
        at = comma + 1;
        if (part.starts_with("CARD="))
            card = part.substr(5);
        else if (part.starts_with("DEV="))
            device = part.substr(4);
        else if (part.find('=') != std::string::npos || position > 1)
            return name;  // other arguments (SUBDEV=, rates ...): kept as given
        else if (position == 0)
            card = part;
        else
            device = part;
    }
    if (card.empty()) return name;
    return name.substr(0, colon + 1) + CardNumber(card) + "," + device;
}

std::optional<std::string> DefaultPcmTrouble(Direction direction) {
    return PcmTrouble("default", direction);
}

std::optional<std::string> PcmTrouble([[maybe_unused]] const std::string& name,
                                      [[maybe_unused]] Direction direction) {
#ifdef SORVAN_HAVE_ALSA
    snd_pcm_t* pcm = nullptr;
    const int error =
        snd_pcm_open(&pcm, name.c_str(),
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
