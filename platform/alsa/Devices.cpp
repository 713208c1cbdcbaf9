#include "platform/alsa/Devices.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <memory>
#include <string_view>

#include "platform/alsa/Pcm.h"

namespace sorvan::alsa {

namespace {

struct Hint {
    std::string name;
    std::string ioid;  // "Input", "Output" or empty for both
};

std::string hintField(const void* hint, const char* field) {
    std::unique_ptr<char, decltype(&std::free)> value(snd_device_name_get_hint(hint, field),
                                                      &std::free);
    return value != nullptr ? std::string(value.get()) : std::string();
}

std::vector<Hint> pcmHints() {
    void** hints = nullptr;
    if (snd_device_name_hint(-1, "pcm", &hints) < 0) return {};
    std::vector<Hint> list;
    for (void** hint = hints; *hint != nullptr; ++hint) {
        list.push_back({hintField(*hint, "NAME"), hintField(*hint, "IOID")});
    }
    snd_device_name_free_hint(hints);
    return list;
}

// The plugin type a PCM's definition names ("hw", "file", "rate", ...).
std::string typeOf(const std::string& pcm) {
    snd_config_t* definition = nullptr;
    if (snd_config_update() < 0 ||
        snd_config_search_definition(snd_config, "pcm", pcm.c_str(), &definition) < 0) {
        return {};
    }
    std::string type;
    snd_config_t* node = nullptr;
    const char* value = nullptr;
    if (snd_config_search(definition, "type", &node) >= 0 &&
        snd_config_get_string(node, &value) >= 0) {
        type = value;
    }
    snd_config_delete(definition);
    return type;
}

// Whether a hinted PCM is a sound device of its own. Not: "null", which only
// discards (on a machine without a sound card it must not make this driver
// look as if it had a device), the converters that wrap another PCM
// (resamplers, up- and down-mixers: "default" already offers that device),
// and jack, whose library prints to stderr whenever no JACK server runs.
bool isDevice(const std::string& pcm) {
    if (pcm.empty() || pcm == "null") return false;
    const std::string type = typeOf(pcm);
    for (const char* wrapper : {"rate", "speex", "upmix", "vdownmix", "jack"}) {
        if (type == wrapper) return false;
    }
    return true;
}

// "PipeWire" or "PulseAudio" for a PCM that is a sound server's plug-in.
std::string soundServerOf(const std::string& pcm) {
    const std::string type = typeOf(pcm);
    if (type == "pipewire") return "PipeWire";
    if (type == "pulse") return "PulseAudio";
    return {};
}

bool servesDirection(const Hint& hint, wave::Direction direction) {
    if (hint.ioid.empty()) return true;
    return hint.ioid == (direction == wave::Direction::input ? "Input" : "Output");
}

// Cuts "hw:CARD=PCH,DEV=0" to "hw:PCH,0" when the full name would not fit
// the caps record; ALSA opens both.
std::string displayName(std::string pcm) {
    if (pcm.size() < MAXPNAMELEN) return pcm;
    for (const std::string key : {"CARD=", "DEV="}) {
        for (auto at = pcm.find(key); at != std::string::npos; at = pcm.find(key)) {
            pcm.erase(at, key.size());
        }
    }
    return pcm;
}

constexpr std::array<DWORD, 5> standardRates = {11025, 22050, 44100, 48000, 96000};

DWORD standardFormats(snd_pcm_t* pcm, WORD maxChannels) {
    DWORD bits = 0;
    for (std::size_t r = 0; r < standardRates.size(); ++r) {
        const DWORD base = DWORD{1} << (4 * r);
        const std::array<std::pair<WORD, WORD>, 4> shapes = {{{1, 8}, {2, 8}, {1, 16}, {2, 16}}};
        for (std::size_t s = 0; s < shapes.size(); ++s) {
            const auto [channels, sampleBits] = shapes[s];
            if (channels > maxChannels) continue;
            const WAVEFORMATEX format{
                .wFormatTag = WAVE_FORMAT_PCM,
                .nChannels = channels,
                .nSamplesPerSec = standardRates[r],
                .nAvgBytesPerSec = standardRates[r] * channels * sampleBits / 8,
                .nBlockAlign = static_cast<WORD>(channels * sampleBits / 8),
                .wBitsPerSample = sampleBits,
            };
            if (accepts(pcm, format)) bits |= base << s;
        }
    }
    return bits;
}

void describe(const std::string& name, wave::Direction direction, WORD channels, DWORD formats,
              Device& device) {
    device.pcm = name;
    device.info.name = displayName(name);
    // A sound server's plug-in mixes and resamples for the server's own
    // device, whatever it takes itself: the list says which server it is.
    if (const std::string server = soundServerOf(name); !server.empty()) {
        device.info.name = displayName(name + " (" + server + ")");
    }
    device.info.channels = channels;
    device.info.formats = formats;
    // Every device has a volume: the card's mixer or the driver's own gain.
    device.info.support = 0;
    if (direction == wave::Direction::output) {
        device.info.support = WAVECAPS_VOLUME | (channels > 1 ? WAVECAPS_LRVOLUME : 0);
    }
}

// 0 when the PCM opens and takes some format; -EBUSY when another program
// holds it (described then as far as that is known); else why it is no device.
int probe(const std::string& name, wave::Direction direction, Device& device) {
    Pcm pcm;
    if (int e = openPcm(name, direction, pcm); e < 0) {
        if (e == -EBUSY) describe(name, direction, 2, 0, device);
        return e;
    }
    snd_pcm_hw_params_t* params = nullptr;
    snd_pcm_hw_params_alloca(&params);
    if (int e = snd_pcm_hw_params_any(pcm.get(), params); e < 0) return e;
    unsigned int maxChannels = 0;
    if (snd_pcm_hw_params_get_channels_max(params, &maxChannels) < 0 || maxChannels == 0) {
        return -EINVAL;
    }
    // ALSA's software PCMs (null, file) take any channel count up to 2^32. No
    // card has more than a few hundred, and what reads a recording
    // (libsndfile) takes at most 1024: a wider format is a caller's mistake.
    constexpr unsigned mostChannels = 1024;
    const auto channels = static_cast<WORD>(std::min(maxChannels, mostChannels));
    describe(name, direction, channels, standardFormats(pcm.get(), channels), device);
    return 0;
}

}  // namespace

std::optional<Device> openingDefault(wave::Direction direction) {
    Device device;
    if (probe(defaultPcm, direction, device) != 0) return std::nullopt;
    return device;
}

std::vector<Device> enumerateOthers(wave::Direction direction) {
    std::vector<Device> devices;
    Device device;
    for (const Hint& hint : pcmHints()) {
        if (hint.name == defaultPcm || !servesDirection(hint, direction)) continue;
        if (!isDevice(hint.name)) continue;
        // A device another program holds stays in the list, so that the
        // numbers do not shift; what it takes is learnt when it opens.
        if (const int e = probe(hint.name, direction, device); e == 0 || e == -EBUSY) {
            devices.push_back(device);
        }
    }
    return devices;
}

int describeNamed(const std::string& pcm, wave::Direction direction, Device& device) {
    const int e = probe(pcm, direction, device);
    return e == -EBUSY ? 0 : e;
}

MMRESULT checkFormat(const std::string& name, wave::Direction direction,
                     const WAVEFORMATEX& format) {
    Pcm pcm;
    if (int e = openPcm(name, direction, pcm); e < 0) return resultOf(e);
    return accepts(pcm.get(), format) ? MMSYSERR_NOERROR : WAVERR_BADFORMAT;
}

std::string controlOf(const std::string& pcm) {
    if (pcm == defaultPcm) return pcm;
    const auto card = pcm.find("CARD=");
    if (card != std::string::npos) {
        const auto end = pcm.find(',', card);
        return "hw:" + pcm.substr(card, end == std::string::npos ? std::string::npos : end - card);
    }
    // "hw:0,0", "plughw:PCH", "dmix:1": the PCMs of a card take the card as
    // their first argument. Others (plug:SLAVE, file:PATH) name no card.
    const auto colon = pcm.find(':');
    if (colon == std::string::npos) return {};
    const std::string type = pcm.substr(0, colon);
    static constexpr std::array<std::string_view, 9> cardPcms = {
        "hw", "plughw", "dmix", "dsnoop", "default", "sysdefault", "front", "iec958", "hdmi"};
    if (std::find(cardPcms.begin(), cardPcms.end(), type) == cardPcms.end()) return {};
    const std::string first = pcm.substr(colon + 1, pcm.find(',', colon) - colon - 1);
    if (first.empty() || first.find_first_of("={}'\" ") != std::string::npos) return {};
    return "hw:" + first;
}

}  // namespace sorvan::alsa
