// The driver object: its devices (and those named to it since), their
// volumes, and the streams it opens.
//
// Each list is made when it is first asked for, and only as far as asked:
// WAVE_MAPPER needs only "default", and opening every other PCM (a sound
// server's plug-in connects to its server) would hold up the first open.
#include "platform/alsa/AlsaDriver.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdarg>
#include <mutex>
#include <system_error>

#include "platform/alsa/AlsaStream.h"
#include "platform/alsa/CardWatch.h"
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
    std::size_t deviceCount(Direction direction) override {
        std::lock_guard lock(mutex_);
        return complete(direction).size();
    }

    wave::DeviceInfo device(Direction direction, std::size_t index) override {
        std::lock_guard lock(mutex_);
        const auto& list = index == 0 ? started(direction) : complete(direction);
        return (index < list.size() ? list : complete(direction))[index].info;
    }

    // "default" comes first whenever it opens; else device 0 stands in.
    std::size_t defaultDevice(Direction) override { return 0; }

    std::optional<std::size_t> mapperDevice(Direction direction) override {
        std::lock_guard lock(mutex_);
        if (started(direction).empty() && complete(direction).empty()) return std::nullopt;
        return 0;
    }

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

    bool opensOnlyWhatItTakes() const override { return true; }

    MMRESULT open(Direction direction, std::size_t index, const WAVEFORMATEX& format,
                  wave::StreamHost& host, std::unique_ptr<wave::DriverStream>& stream) override {
        const std::string name = pcmOf(direction, index);
        Pcm pcm;
        if (int e = openPcm(name, direction, pcm); e < 0) return resultOf(explained(name, e));
        // Set up at the first start, fitted to the application's headers:
        // setting up twice costs a sound server's plug-in a new stream.
        if (!accepts(pcm.get(), format)) {
            wave::explainFailure("ALSA's \"" + name + "\" does not take this format");
            return WAVERR_BADFORMAT;
        }
        try {
            stream = std::make_unique<AlsaStream>(
                std::move(pcm), direction, format, expectedGeometry(format), host,
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

    // "default" leads the list whenever it opens.
    std::string whyNoDefault(Direction direction) override {
        {
            std::lock_guard lock(mutex_);
            const auto& list = started(direction);
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
        // Named devices follow the whole list, so that its numbers stay.
        deviceCount(direction);
        if (const auto listed = find(direction, pcm)) {
            index = *listed;
            return MMSYSERR_NOERROR;
        }
        // Probed unlocked: opening a PCM may take a while.
        Device device;
        if (int e = describeNamed(pcm, direction, device); e < 0) return resultOf(explained(pcm, e));
        auto deviceVolume = direction == Direction::output ? volumeOf(device) : nullptr;
        std::lock_guard lock(mutex_);
        List& list = lists_[slot(direction)];
        list.devices.push_back(std::move(device));
        if (deviceVolume != nullptr) volumes_.push_back(std::move(deviceVolume));
        index = list.devices.size() - 1;
        return MMSYSERR_NOERROR;
    }

  private:
    struct List {
        bool defaultAsked = false;
        bool complete = false;
        std::vector<Device> devices;
    };

    static std::size_t slot(Direction direction) { return direction == Direction::input ? 0 : 1; }

    // Callers hold mutex_. The list with "default" asked for, as far as made.
    const std::vector<Device>& started(Direction direction) {
        List& list = lists_[slot(direction)];
        if (!list.defaultAsked) {
            list.defaultAsked = true;
            if (auto device = openingDefault(direction)) add(direction, std::move(*device));
        }
        return list.devices;
    }

    // Callers hold mutex_. The whole list.
    const std::vector<Device>& complete(Direction direction) {
        started(direction);
        List& list = lists_[slot(direction)];
        if (!list.complete) {
            list.complete = true;
            for (Device& device : enumerateOthers(direction)) add(direction, std::move(device));
        }
        return list.devices;
    }

    void add(Direction direction, Device device) {
        if (direction == Direction::output) volumes_.push_back(volumeOf(device));
        lists_[slot(direction)].devices.push_back(std::move(device));
    }

    // Only numbers the core checked against the list come here, so it is made that far.
    std::string pcmOf(Direction direction, std::size_t index) const {
        std::lock_guard lock(mutex_);
        return lists_[slot(direction)].devices[index].pcm;
    }

    std::shared_ptr<OutputVolume> volume(std::size_t index) const {
        std::lock_guard lock(mutex_);
        return volumes_[index];
    }

    std::optional<std::size_t> find(Direction direction, const std::string& pcm) const {
        std::lock_guard lock(mutex_);
        const auto& list = lists_[slot(direction)].devices;
        // ALSA spells one device several ways (hw:0,0, hw:CARD=PCH,DEV=0).
        const auto at = std::find_if(list.begin(), list.end(), [&](const Device& device) {
            return device.pcm == pcm || canonicalPcmName(device.pcm) == canonicalPcmName(pcm);
        });
        if (at == list.end()) return std::nullopt;
        return static_cast<std::size_t>(at - list.begin());
    }

    // The lists only grow, so an index once valid stays so.
    mutable std::mutex mutex_;
    std::array<List, 2> lists_;
    std::vector<std::shared_ptr<OutputVolume>> volumes_;
    const CardWatch cards_;
};

[[maybe_unused]] const bool registered = wave::registerDriver("alsa", [] {
    snd_lib_error_set_handler(&quiet);
    return std::make_shared<AlsaDriver>();
});

}  // namespace

}  // namespace sorvan::alsa
