// The driver object: the devices found when it was created (and those named
// to it since), their volumes, and the streams it opens.
#include "platform/alsa/AlsaDriver.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <mutex>
#include <system_error>

#include "platform/alsa/AlsaStream.h"
#include "platform/alsa/Devices.h"

namespace sorvan::alsa {

namespace {

// The card as a number when ALSA knows it by that id or number.
std::string cardNumber(const std::string& card) {
    const int index = snd_card_get_index(card.c_str());
    return index >= 0 ? std::to_string(index) : card;
}

}  // namespace

std::string canonicalPcmName(const std::string& name) {
    const auto colon = name.find(':');
    if (colon == std::string::npos || colon == 0) return name;
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
            return name;
        else if (position == 0)
            card = part;
        else
            device = part;
    }
    if (card.empty()) return name;
    return name.substr(0, colon + 1) + cardNumber(card) + "," + device;
}

namespace {

using wave::Direction;

// ALSA reports its errors on stderr; this driver reports them as codes.
void quiet(const char*, int, const char*, int, const char*, ...) {}

// Why PCM `pcm` does not open, as the application is told; empty for no
// such device, where the code says it all.
std::string whyNotOpen(const std::string& pcm, int error) {
    const std::string subject = "ALSA's \"" + pcm + "\" ";
    if (error == -EBUSY || error == -EAGAIN) return subject + "is busy (another program is using it)";
    if (error == -ENOENT || error == -ENODEV) return {};
    return subject + "cannot be opened (" + snd_strerror(error) + ")";
}

int explained(const std::string& pcm, int error) {
    if (std::string why = whyNotOpen(pcm, error); !why.empty()) wave::explainFailure(std::move(why));
    return error;
}

std::shared_ptr<OutputVolume> volumeOf(const Device& device) {
    const std::string control = controlOf(device.pcm);
    return std::make_shared<OutputVolume>(control.empty() ? nullptr : Mixer::open(control));
}

class AlsaDriver final : public wave::Driver {
  public:
    AlsaDriver() : inputs_(enumerate(Direction::input)), outputs_(enumerate(Direction::output)) {
        for (const Device& device : outputs_) volumes_.push_back(volumeOf(device));
    }

    std::size_t deviceCount(Direction direction) override {
        std::lock_guard lock(mutex_);
        return devices(direction).size();
    }

    wave::DeviceInfo device(Direction direction, std::size_t index) override {
        std::lock_guard lock(mutex_);
        return devices(direction)[index].info;
    }

    // "default" comes first whenever it opens; else device 0 stands in.
    std::size_t defaultDevice(Direction) override { return 0; }

    MMRESULT checkFormat(Direction direction, std::size_t index,
                         const WAVEFORMATEX& format) override {
        const std::string pcm = pcmOf(direction, index);
        const MMRESULT result = alsa::checkFormat(pcm, direction, format);
        if (result != MMSYSERR_NOERROR && result != WAVERR_BADFORMAT) {
            // Opened once more to learn why: a failure is no hot path.
            Pcm again;
            if (const int e = openPcm(pcm, direction, again); e < 0) explained(pcm, e);
        }
        return result;
    }

    MMRESULT open(Direction direction, std::size_t index, const WAVEFORMATEX& format,
                  wave::StreamHost& host, std::unique_ptr<wave::DriverStream>& stream) override {
        const std::string name = pcmOf(direction, index);
        Pcm pcm;
        if (int e = openPcm(name, direction, pcm); e < 0) return resultOf(explained(name, e));
        Geometry geometry;
        if (int e = configure(pcm.get(), direction, format, defaultPeriod(format), geometry); e < 0) {
            wave::explainFailure("ALSA's \"" + name + "\" cannot be set up (" + snd_strerror(e) +
                                 ")");
            return resultOf(e);
        }
        try {
            stream = std::make_unique<AlsaStream>(
                std::move(pcm), direction, format, geometry, host,
                direction == Direction::output ? volume(index) : nullptr);
        } catch (const std::system_error&) {
            return MMSYSERR_NOMEM;  // no thread or eventfd to be had
        }
        return MMSYSERR_NOERROR;
    }

    MMRESULT getVolume(std::size_t index, DWORD& level) override {
        return volume(index)->get(level);
    }

    MMRESULT setVolume(std::size_t index, DWORD level) override {
        return volume(index)->set(level);
    }

    bool volumePersists(std::size_t index) override { return volume(index)->persists(); }

    // "default" leads the list whenever it opens (see enumerate).
    std::string whyNoDefault(Direction direction) override {
        {
            std::lock_guard lock(mutex_);
            const auto& list = devices(direction);
            if (!list.empty() && list.front().pcm == defaultPcm) return {};
        }
        Pcm pcm;
        const int e = openPcm(defaultPcm, direction, pcm);
        if (e == 0) return {};
        return whyNotOpen(defaultPcm, e);
    }

    MMRESULT addNamedDevice(Direction direction, const std::string& pcm,
                            std::size_t& index) override {
        if (pcm.empty()) return MMSYSERR_NODRIVER;
        if (const auto listed = find(direction, pcm)) {
            index = *listed;
            return MMSYSERR_NOERROR;
        }
        // Probed unlocked: opening a PCM may take a while.
        Device device;
        if (int e = describeNamed(pcm, direction, device); e < 0) return resultOf(explained(pcm, e));
        auto deviceVolume = direction == Direction::output ? volumeOf(device) : nullptr;
        std::lock_guard lock(mutex_);
        auto& list = direction == Direction::input ? inputs_ : outputs_;
        list.push_back(std::move(device));
        if (deviceVolume != nullptr) volumes_.push_back(std::move(deviceVolume));
        index = list.size() - 1;
        return MMSYSERR_NOERROR;
    }

  private:
    // Callers hold mutex_.
    const std::vector<Device>& devices(Direction direction) const {
        return direction == Direction::input ? inputs_ : outputs_;
    }

    std::string pcmOf(Direction direction, std::size_t index) const {
        std::lock_guard lock(mutex_);
        return devices(direction)[index].pcm;
    }

    std::shared_ptr<OutputVolume> volume(std::size_t index) const {
        std::lock_guard lock(mutex_);
        return volumes_[index];
    }

    std::optional<std::size_t> find(Direction direction, const std::string& pcm) const {
        std::lock_guard lock(mutex_);
        const auto& list = devices(direction);
        // ALSA spells one device several ways (hw:0,0, hw:CARD=PCH,DEV=0).
        const auto at = std::find_if(list.begin(), list.end(), [&](const Device& device) {
            return device.pcm == pcm || canonicalPcmName(device.pcm) == canonicalPcmName(pcm);
        });
        if (at == list.end()) return std::nullopt;
        return static_cast<std::size_t>(at - list.begin());
    }

    // The lists only grow (addNamedDevice), so an index once valid stays so.
    mutable std::mutex mutex_;
    std::vector<Device> inputs_;
    std::vector<Device> outputs_;
    std::vector<std::shared_ptr<OutputVolume>> volumes_;
};

[[maybe_unused]] const bool registered = wave::registerDriver("alsa", [] {
    snd_lib_error_set_handler(&quiet);
    return std::make_shared<AlsaDriver>();
});

}  // namespace

}  // namespace sorvan::alsa
