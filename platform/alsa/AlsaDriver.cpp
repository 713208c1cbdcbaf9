// The driver object: its devices (and those named to it since), their
// volumes, and the streams it opens.
//
// Each list is made when it is first asked for, and only as far as asked:
// WAVE_MAPPER needs only "default", and opening every other PCM (a sound
// server's plug-in connects to its server) would hold up the first open.
#include "platform/alsa/AlsaDriver.h"

#include <algorithm>
#include <array>
#include <cstdarg>
#include <mutex>
#include <system_error>

#include "platform/alsa/AlsaStream.h"
#include "platform/alsa/Devices.h"

namespace sorvan::alsa {

namespace {

using wave::Direction;

// ALSA reports its errors on stderr; this driver reports them as codes.
void quiet(const char*, int, const char*, int, const char*, ...) {}

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
        return alsa::checkFormat(pcmOf(direction, index), direction, format);
    }

    bool opensOnlyWhatItTakes() const override { return true; }

    MMRESULT open(Direction direction, std::size_t index, const WAVEFORMATEX& format,
                  wave::StreamHost& host, std::unique_ptr<wave::DriverStream>& stream) override {
        Pcm pcm;
        if (int e = openPcm(pcmOf(direction, index), direction, pcm); e < 0) {
            return resultOf(e);
        }
        // Set up at the first start, fitted to the application's headers:
        // setting up twice costs a sound server's plug-in a new stream.
        if (!accepts(pcm.get(), format)) return WAVERR_BADFORMAT;
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
        if (int e = describeNamed(pcm, direction, device); e < 0) return resultOf(e);
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
        const auto at = std::find_if(list.begin(), list.end(),
                                     [&](const Device& device) { return device.pcm == pcm; });
        if (at == list.end()) return std::nullopt;
        return static_cast<std::size_t>(at - list.begin());
    }

    // The lists only grow, so an index once valid stays so.
    mutable std::mutex mutex_;
    std::array<List, 2> lists_;
    std::vector<std::shared_ptr<OutputVolume>> volumes_;
};

[[maybe_unused]] const bool registered = wave::registerDriver("alsa", [] {
    snd_lib_error_set_handler(&quiet);
    return std::make_shared<AlsaDriver>();
});

}  // namespace

}  // namespace sorvan::alsa
