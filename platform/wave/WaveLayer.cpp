#include "platform/wave/WaveLayer.h"

#include <algorithm>
#include <array>
#include <atomic>

#include "platform/wave/FailureScope.h"

namespace sorvan::wave {

namespace {

constexpr std::size_t notMapped = ~std::size_t{0};

// Input and output.
std::array<std::atomic<std::size_t>, 2> mapped{notMapped, notMapped};

std::atomic<std::size_t>& mappedOf(Direction direction) {
    return mapped[direction == Direction::input ? 0 : 1];
}

}  // namespace

std::string soundServerOf(Direction direction, UINT_PTR id) {
    const auto driver = currentDriver();
    const auto device = id == WAVE_MAPPER || id == ~UINT_PTR{0}
                            ? driver->mapperDevice(direction)
                            : std::optional<std::size_t>(id);
    if (!device || *device >= driver->deviceCount(direction)) return {};
    return driver->device(direction, *device).soundServer;
}

std::string driverSystem() {
    return currentDriver()->system();
}

bool streamsHaveOwnVolume() {
    return currentDriver()->streamsHaveOwnVolume();
}

bool onVirtualDevices() {
    return currentDriver()->isVirtual();
}

void mapDefaultDevice(Direction direction, std::size_t index) {
    mappedOf(direction).store(index, std::memory_order_relaxed);
}

std::optional<std::size_t> mappedDefaultDevice(Direction direction) {
    const std::size_t index = mappedOf(direction).load(std::memory_order_relaxed);
    if (index == notMapped) return std::nullopt;
    return index;
}

MMRESULT addNamedDevice(Direction direction, const std::string& name, std::size_t& index) {
    FailureScope failure;
    return failure.end(currentDriver()->addNamedDevice(direction, name, index));
}

std::string whyNoDefault(Direction direction) {
    return currentDriver()->whyNoDefault(direction);
}

bool volumePersists(UINT_PTR id) {
    const auto driver = currentDriver();
    const std::size_t count = driver->deviceCount(Direction::output);
    if (count == 0) return false;
    const bool mapper = id == WAVE_MAPPER || id == ~UINT_PTR{0};
    const auto mappedIndex = mappedDefaultDevice(Direction::output);
    const std::size_t index =
        !mapper ? id : std::min(mappedIndex ? *mappedIndex : driver->defaultDevice(Direction::output),
                               count - 1);
    return index < count && driver->volumePersists(index);
}

}  // namespace sorvan::wave
