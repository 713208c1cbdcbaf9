#include "platform/wave/CallObserver.h"

#include <array>
#include <atomic>

namespace sorvan::wave {

namespace {

#define SORVAN_WAVE_NAME(fn) #fn,
constexpr std::array fnNames = {SORVAN_WAVE_FUNCTIONS(SORVAN_WAVE_NAME)};
#undef SORVAN_WAVE_NAME

// Read on every call: two relaxed loads where nothing is watched.
std::atomic<const Driver*> watchedDriver{nullptr};
std::atomic<CallObserver*> watcher{nullptr};

}  // namespace

std::string_view name(Fn fn) {
    return fnNames.at(static_cast<std::size_t>(fn));
}

Direction directionOf(Fn fn) {
    return fn < Fn::waveOutGetNumDevs ? Direction::input : Direction::output;
}

void observeCalls(const Driver& driver, CallObserver& observer) {
    watcher.store(&observer, std::memory_order_release);
    watchedDriver.store(&driver, std::memory_order_release);
}

CallObserver* observerOf(const Driver& driver) {
    if (watchedDriver.load(std::memory_order_acquire) != &driver) return nullptr;
    return watcher.load(std::memory_order_acquire);
}

}  // namespace sorvan::wave
