#include "platform/alsa/Faults.h"

#include <atomic>
#include <cstdint>

#include "platform/alsa/AlsaDriver.h"

namespace sorvan::alsa {

namespace {

std::atomic<std::uint64_t> xruns{0};

}  // namespace

std::uint64_t xrunCount() {
    return xruns.load(std::memory_order_relaxed);
}

namespace faults {

void countXrun() {
    xruns.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace faults

}  // namespace sorvan::alsa
