#include "tools/sorvan/DeviceRedirect.h"

#include <array>
#include <memory>
#include <optional>

#include "platform/wave/Driver.h"

namespace {

namespace wave = sorvan::wave;

class RedirectingDriver final : public wave::Driver {
  public:
    RedirectingDriver(std::shared_ptr<wave::Driver> inner, wave::Direction direction,
                      std::size_t index)
        : inner_(std::move(inner)), direction_(direction), index_(index) {}

    std::size_t deviceCount(wave::Direction direction) override {
        return inner_->deviceCount(direction);
    }
    wave::DeviceInfo device(wave::Direction direction, std::size_t index) override {
        return inner_->device(direction, index);
    }
    std::size_t defaultDevice(wave::Direction direction) override {
        return direction == direction_ ? index_ : inner_->defaultDevice(direction);
    }
    MMRESULT checkFormat(wave::Direction direction, std::size_t index,
                         const WAVEFORMATEX& format) override {
        return inner_->checkFormat(direction, index, format);
    }
    MMRESULT open(wave::Direction direction, std::size_t index, const WAVEFORMATEX& format,
                  wave::StreamHost& host, std::unique_ptr<wave::DriverStream>& stream) override {
        return inner_->open(direction, index, format, host, stream);
    }
    // The device the program chose is that device; the other direction's
    // default stays the system's, to follow as it changes.
    MMRESULT openDefault(wave::Direction direction, std::size_t index, const WAVEFORMATEX& format,
                         wave::StreamHost& host,
                         std::unique_ptr<wave::DriverStream>& stream) override {
        if (direction == direction_) return inner_->open(direction, index, format, host, stream);
        return inner_->openDefault(direction, index, format, host, stream);
    }
    MMRESULT getVolume(std::size_t outputIndex, DWORD& volume) override {
        return inner_->getVolume(outputIndex, volume);
    }
    MMRESULT setVolume(std::size_t outputIndex, DWORD volume) override {
        return inner_->setVolume(outputIndex, volume);
    }
    bool isVirtual() const override { return inner_->isVirtual(); }
    bool volumePersists(std::size_t outputIndex) override {
        return inner_->volumePersists(outputIndex);
    }
    MMRESULT addNamedDevice(wave::Direction direction, const std::string& name,
                            std::size_t& index) override {
        return inner_->addNamedDevice(direction, name, index);
    }
    std::optional<MMRESULT> intercept(const Call& call) override { return inner_->intercept(call); }
    void returned(const Call& call, MMRESULT result) override { inner_->returned(call, result); }

  private:
    std::shared_ptr<wave::Driver> inner_;
    wave::Direction direction_;
    std::size_t index_;
};

// Input and output; the program chooses its devices on one thread, at start.
std::array<std::optional<std::size_t>, 2> redirected;

wave::Direction WaveDirection(Direction direction) {
    return direction == Direction::input ? wave::Direction::input : wave::Direction::output;
}

}  // namespace

void RedirectDefaultDevice(Direction direction, std::size_t index) {
    redirected[static_cast<std::size_t>(direction)] = index;
    wave::useDriver(
        std::make_shared<RedirectingDriver>(wave::currentDriver(), WaveDirection(direction), index));
}

std::optional<std::size_t> RedirectedDevice(Direction direction) {
    return redirected[static_cast<std::size_t>(direction)];
}

MMRESULT AddNamedDevice(Direction direction, const std::string& name, std::size_t& index) {
    return wave::currentDriver()->addNamedDevice(WaveDirection(direction), name, index);
}
