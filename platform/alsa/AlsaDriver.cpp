// The driver object: the devices found when it was created (and those named
// to it since), their volumes, and the streams it opens.
#include "platform/alsa/AlsaDriver.h"

#include <algorithm>
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
        return alsa::checkFormat(pcmOf(direction, index), direction, format);
    }

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
        if (const auto listed = find(direction, pcm)) {
            index = *listed;
            return MMSYSERR_NOERROR;
        }
        // Probed unlocked: opening a PCM may take a while.
        Device device;
        if (int e = describeNamed(pcm, direction, device); e < 0) return resultOf(e);
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
        const auto at = std::find_if(list.begin(), list.end(),
                                     [&](const Device& device) { return device.pcm == pcm; });
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
