// Driver registration and selection.
#include "platform/wave/Registry.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <mutex>
#include <utility>

namespace sorvan::wave {

namespace {

constexpr std::string_view simName = "sim";
constexpr std::string_view autoName = "auto";

// What takes the place of a driver that cannot be had: no devices, and
// the reason why for every call that names one.
class NoDevices final : public Driver {
  public:
    NoDevices(std::string reason, bool misnamed)
        : reason_(std::move(reason)), misnamed_(misnamed) {}
    const std::string& reason() const { return reason_; }
    bool misnamed() const { return misnamed_; }

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
    std::string whyNoDefault(Direction) override { return reason_; }

  private:
    std::string reason_;
    bool misnamed_;
};

std::string lowered(std::string_view text) {
    std::string low(text);
    std::transform(low.begin(), low.end(), low.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return low;
}

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
        if (lowered(entry) == lowered(name)) return &factory;
    }
    return nullptr;
}

// Whether the driver has a device at all, asked as cheaply as it can
// answer: the mapper needs no whole list.
bool hasDevice(Driver& driver) {
    return driver.mapperDevice(Direction::input).has_value() ||
           driver.mapperDevice(Direction::output).has_value();
}

// The first driver other than the sim that has a device, a sound server
// first, as it owns the cards the other drivers would reach only through its
// plug-ins; else no devices, with every real driver's reason. `chosen` gets
// the name of the driver.
std::shared_ptr<Driver> chooseAutomatically(Factories factories, std::string& chosen) {
    std::stable_partition(factories.begin(), factories.end(),
                          [](const auto& entry) { return entry.first == "pulse"; });
    std::string reasons;
    for (const auto& [name, factory] : factories) {
        if (lowered(name) == simName) continue;
        auto driver = factory();
        if (driver == nullptr) continue;
        if (hasDevice(*driver)) {
            chosen = name;
            return driver;
        }
        for (const Direction direction : {Direction::input, Direction::output}) {
            std::string why = driver->whyNoDefault(direction);
            if (!why.empty() && reasons.find(why) == std::string::npos)
                reasons += (reasons.empty() ? ": " : ", ") + why;
        }
    }
    chosen.clear();
    return std::make_shared<NoDevices>("no sound device was found" + reasons +
                                       "; SORVAN_AUDIO=sim uses the built-in virtual devices",
                                       false);
}

}  // namespace

std::shared_ptr<Driver> unreachableDriver(std::string reason) {
    return std::make_shared<NoDevices>(std::move(reason), false);
}

namespace {

std::string joined(const std::vector<std::string>& names) {
    std::string list;
    for (const auto& name : names) list += (list.empty() ? "" : ", ") + name;
    return list;
}

// Makes the driver `name` names, with the registry unlocked; null for a
// name that is no driver.
std::shared_ptr<Driver> create(Registry& r, std::string_view name, std::string& chosen) {
    Factories factories;
    {
        std::lock_guard lock(r.mutex);
        factories = r.factories;
    }
    if (lowered(name) == autoName) return chooseAutomatically(factories, chosen);
    const DriverFactory* factory = factoryOf(factories, name);
    if (factory == nullptr) return nullptr;
    auto driver = (*factory)();
    if (driver == nullptr) return nullptr;
    const auto entry = std::find_if(factories.begin(), factories.end(),
                                    [&](const auto& f) { return &f.second == factory; });
    chosen = entry->first;
    return driver;
}

}  // namespace

bool registerDriver(std::string_view name, DriverFactory factory) {
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    if (lowered(name) == autoName || factory == nullptr || factoryOf(r.factories, name) != nullptr) {
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
    std::string chosenName;
    const char* wanted = std::getenv("SORVAN_AUDIO");
    const std::string_view name = wanted != nullptr && *wanted != '\0' ? wanted : autoName;
    std::shared_ptr<Driver> chosen = create(r, name, chosenName);
    if (chosen == nullptr) {
        chosen = std::make_shared<NoDevices>("SORVAN_AUDIO=" + std::string(name) +
                                             " names no audio driver (use " +
                                             joined(driverNames()) + ")",
                                             true);
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

std::string driverTrouble() {
    const auto driver = currentDriver();
    const auto* missing = dynamic_cast<const NoDevices*>(driver.get());
    return missing != nullptr ? missing->reason() : std::string();
}

bool driverMisnamed() {
    const auto driver = currentDriver();
    const auto* missing = dynamic_cast<const NoDevices*>(driver.get());
    return missing != nullptr && missing->misnamed();
}

}  // namespace sorvan::wave
