// The driver object: the devices found when it was created, their volumes,
// and the streams it opens.
#include "platform/alsa/AlsaDriver.h"

#include <cstdarg>
#include <system_error>

#include "platform/alsa/AlsaStream.h"
#include "platform/alsa/Devices.h"

namespace sorvan::alsa {

namespace {

using wave::Direction;

// ALSA reports its errors on stderr; this driver reports them as codes.
void quiet(const char*, int, const char*, int, const char*, ...) {}

class AlsaDriver final : public wave::Driver {
  public:
    AlsaDriver() : inputs_(enumerate(Direction::input)), outputs_(enumerate(Direction::output)) {
        for (const Device& device : outputs_) {
            const std::string control = controlOf(device.pcm);
            volumes_.push_back(
                std::make_shared<OutputVolume>(control.empty() ? nullptr : Mixer::open(control)));
        }
    }

    std::size_t deviceCount(Direction direction) override { return devices(direction).size(); }

    wave::DeviceInfo device(Direction direction, std::size_t index) override {
        return devices(direction)[index].info;
    }

    // "default" comes first whenever it opens; else device 0 stands in.
    std::size_t defaultDevice(Direction) override { return 0; }

    MMRESULT checkFormat(Direction direction, std::size_t index,
                         const WAVEFORMATEX& format) override {
        return alsa::checkFormat(devices(direction)[index].pcm, direction, format);
    }

    MMRESULT open(Direction direction, std::size_t index, const WAVEFORMATEX& format,
                  wave::StreamHost& host, std::unique_ptr<wave::DriverStream>& stream) override {
        Pcm pcm;
        if (int e = openPcm(devices(direction)[index].pcm, direction, pcm); e < 0) {
            return resultOf(e);
        }
        Geometry geometry;
        if (int e = configure(pcm.get(), direction, format, defaultPeriod(format), geometry); e < 0) {
            return resultOf(e);
        }
        try {
            stream = std::make_unique<AlsaStream>(
                std::move(pcm), direction, format, geometry, host,
                direction == Direction::output ? volumes_[index] : nullptr);
        } catch (const std::system_error&) {
            return MMSYSERR_NOMEM;  // no thread or eventfd to be had
        }
        return MMSYSERR_NOERROR;
    }

    MMRESULT getVolume(std::size_t index, DWORD& volume) override {
        return volumes_[index]->get(volume);
    }

    MMRESULT setVolume(std::size_t index, DWORD volume) override {
        return volumes_[index]->set(volume);
    }

  private:
    const std::vector<Device>& devices(Direction direction) const {
        return direction == Direction::input ? inputs_ : outputs_;
    }

    const std::vector<Device> inputs_;
    const std::vector<Device> outputs_;
    std::vector<std::shared_ptr<OutputVolume>> volumes_;
};

[[maybe_unused]] const bool registered = wave::registerDriver("alsa", [] {
    snd_lib_error_set_handler(&quiet);
    return std::make_shared<AlsaDriver>();
});

}  // namespace

}  // namespace sorvan::alsa
