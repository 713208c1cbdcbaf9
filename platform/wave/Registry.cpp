// Driver registration and selection.
#include <algorithm>
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

// Creating a driver can take long (the alsa driver opens every PCM and
// mixer), so it happens outside `mutex`: calls that find a driver in place,
// and registrations, never wait for one being made.
struct Registry {
    std::mutex mutex;
    std::vector<std::pair<std::string, DriverFactory>> factories;
    std::shared_ptr<Driver> current;
    std::string currentName;
    // Serialises the first choice, so that only one default driver is made.
    std::mutex choosing;
};

// Never destroyed: streams may outlive static destruction order.
Registry& registry() {
    static auto& instance = *new Registry;
    return instance;
}

using Factories = std::vector<std::pair<std::string, DriverFactory>>;

const DriverFactory* factoryOf(const Factories& factories, std::string_view name) {
    for (const auto& [entry, factory] : factories) {
        if (entry == name) return &factory;
    }
    return nullptr;
}

// The first driver other than the sim that has a device, else the sim; a
// sound server first, as it owns the cards the other drivers would reach
// only through its plug-ins. `chosen` gets the name of the driver returned.
std::shared_ptr<Driver> chooseAutomatically(Factories factories, std::string& chosen) {
    std::stable_partition(factories.begin(), factories.end(),
                          [](const auto& entry) { return entry.first == "pulse"; });
    for (const auto& [name, factory] : factories) {
        if (name == simName) continue;
        auto driver = factory();
        if (driver != nullptr && (driver->deviceCount(Direction::input) > 0 ||
                                  driver->deviceCount(Direction::output) > 0)) {
            chosen = name;
            return driver;
        }
    }
    const DriverFactory* sim = factoryOf(factories, simName);
    chosen = simName;
    return sim != nullptr ? (*sim)() : nullptr;
}

// Makes the driver `name` names, with the registry unlocked.
std::shared_ptr<Driver> create(Registry& r, std::string_view name, std::string& chosen) {
    Factories factories;
    {
        std::lock_guard lock(r.mutex);
        factories = r.factories;
    }
    if (name == autoName) return chooseAutomatically(factories, chosen);
    const DriverFactory* factory = factoryOf(factories, name);
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
    if (name == autoName || factory == nullptr || factoryOf(r.factories, name) != nullptr) {
        return false;
    }
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
    std::string chosen;
    auto driver = create(r, name, chosen);
    if (driver == nullptr) return false;
    std::lock_guard lock(r.mutex);
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
    {
        std::lock_guard lock(r.mutex);
        if (r.current != nullptr) return r.current;
    }
    std::lock_guard choosing(r.choosing);
    {
        std::lock_guard lock(r.mutex);
        if (r.current != nullptr) return r.current;
    }
    std::shared_ptr<Driver> chosen;
    std::string chosenName;
    if (const char* wanted = std::getenv("SORVAN_AUDIO")) chosen = create(r, wanted, chosenName);
    if (chosen == nullptr) chosen = create(r, autoName, chosenName);
    if (chosen == nullptr) {
        chosen = std::make_shared<NoDevices>();
        chosenName.clear();
    }
    std::lock_guard lock(r.mutex);
    // A driver selected meanwhile wins over the default.
    if (r.current == nullptr) {
        r.current = std::move(chosen);
        r.currentName = std::move(chosenName);
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
