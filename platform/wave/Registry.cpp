// Driver registration and selection.
#include <array>
#include <cstdlib>
#include <mutex>
#include <utility>

#include "platform/wave/Driver.h"

namespace sorvan::wave {

namespace {

constexpr std::string_view simName = "sim";
constexpr std::string_view autoName = "auto";

// What is left when no driver is registered at all: no devices.
class NoDevices final : public Driver {
  public:
    std::size_t deviceCount(Direction) override { return 0; }
    DeviceInfo device(Direction, std::size_t) override { return {}; }
    std::size_t defaultDevice(Direction) override { return 0; }
    MMRESULT checkFormat(Direction, std::size_t, const WAVEFORMATEX&) override {
        return MMSYSERR_NODRIVER;
    }
    MMRESULT open(Direction, std::size_t, const WAVEFORMATEX&, StreamHost&,
                  std::unique_ptr<DriverStream>&) override {
        return MMSYSERR_NODRIVER;
    }
    MMRESULT getVolume(std::size_t, DWORD&) override { return MMSYSERR_NODRIVER; }
    MMRESULT setVolume(std::size_t, DWORD) override { return MMSYSERR_NODRIVER; }
};

struct Registry {
    std::mutex mutex;
    std::vector<std::pair<std::string, DriverFactory>> factories;
    std::shared_ptr<Driver> current;
    std::string currentName;
};

// Never destroyed: streams may outlive static destruction order.
Registry& registry() {
    static auto& instance = *new Registry;
    return instance;
}

const DriverFactory* factoryOf(Registry& r, std::string_view name) {
    for (const auto& [entry, factory] : r.factories) {
        if (entry == name) return &factory;
    }
    return nullptr;
}

// The first driver other than the sim that has a device, else the sim.
// `chosen` gets the name of the driver returned.
std::shared_ptr<Driver> chooseAutomatically(Registry& r, std::string& chosen) {
    for (const auto& [name, factory] : r.factories) {
        if (name == simName) continue;
        auto driver = factory();
        if (driver != nullptr && (driver->deviceCount(Direction::input) > 0 ||
                                  driver->deviceCount(Direction::output) > 0)) {
            chosen = name;
            return driver;
        }
    }
    const DriverFactory* sim = factoryOf(r, simName);
    chosen = simName;
    return sim != nullptr ? (*sim)() : nullptr;
}

std::shared_ptr<Driver> create(Registry& r, std::string_view name, std::string& chosen) {
    if (name == autoName) return chooseAutomatically(r, chosen);
    const DriverFactory* factory = factoryOf(r, name);
    chosen = name;
    return factory != nullptr ? (*factory)() : nullptr;
}

constexpr std::array<std::string_view, 22> fnNames = {
    "waveInGetNumDevs", "waveInGetDevCapsA",    "waveInOpen",
    "waveInClose",      "waveInPrepareHeader",  "waveInUnprepareHeader",
    "waveInAddBuffer",  "waveInStart",          "waveInStop",
    "waveInReset",      "waveOutGetNumDevs",    "waveOutGetDevCapsA",
    "waveOutGetVolume", "waveOutSetVolume",     "waveOutOpen",
    "waveOutClose",     "waveOutPrepareHeader", "waveOutUnprepareHeader",
    "waveOutWrite",     "waveOutReset",         "waveOutPause",
    "waveOutRestart",
};

}  // namespace

std::string_view name(Fn fn) {
    return fnNames.at(static_cast<std::size_t>(fn));
}

Direction directionOf(Fn fn) {
    return fn < Fn::waveOutGetNumDevs ? Direction::input : Direction::output;
}

bool registerDriver(std::string_view name, DriverFactory factory) {
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    if (name == autoName || factory == nullptr || factoryOf(r, name) != nullptr) return false;
    r.factories.emplace_back(std::string(name), std::move(factory));
    return true;
}

std::vector<std::string> driverNames() {
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    std::vector<std::string> names{std::string(autoName)};
    for (const auto& entry : r.factories) names.push_back(entry.first);
    return names;
}

bool selectDriver(std::string_view name) {
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    std::string chosen;
    auto driver = create(r, name, chosen);
    if (driver == nullptr) return false;
    r.current = std::move(driver);
    r.currentName = std::move(chosen);
    return true;
}

void useDriver(std::shared_ptr<Driver> driver) {
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    r.current = std::move(driver);
    r.currentName.clear();
}

std::shared_ptr<Driver> currentDriver() {
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    if (r.current == nullptr) {
        const char* wanted = std::getenv("SORVAN_AUDIO");
        if (wanted != nullptr) r.current = create(r, wanted, r.currentName);
        if (r.current == nullptr) r.current = create(r, autoName, r.currentName);
        if (r.current == nullptr) {
            r.current = std::make_shared<NoDevices>();
            r.currentName.clear();
        }
    }
    return r.current;
}

std::string currentDriverName() {
    currentDriver();
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    return r.currentName;
}

}  // namespace sorvan::wave
