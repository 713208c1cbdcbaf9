#include "platform/alsa/Faults.h"

#include <atomic>
#include <mutex>
#include <set>
#include <thread>

#include "platform/alsa/AlsaDriver.h"

namespace sorvan::alsa {

namespace {

std::atomic<std::uint64_t> xruns{0};

struct LostHandles {
    std::mutex mutex;
    std::set<UINT_PTR> handles;
};

LostHandles& lost() {
    static auto& instance = *new LostHandles;  // streams may outlive static destruction
    return instance;
}

// Set on the thread that returns a lost stream's headers: its reset must pass.
thread_local bool returningHeaders = false;

bool cleansUp(wave::Fn fn) {
    using wave::Fn;
    return fn == Fn::waveInClose || fn == Fn::waveOutClose || fn == Fn::waveInUnprepareHeader ||
           fn == Fn::waveOutUnprepareHeader;
}

}  // namespace

std::uint64_t xrunCount() {
    return xruns.load(std::memory_order_relaxed);
}

namespace faults {

void countXrun() {
    xruns.fetch_add(1, std::memory_order_relaxed);
}

void deviceLost(UINT_PTR handle, wave::Direction direction) {
    {
        std::lock_guard lock(lost().mutex);
        lost().handles.insert(handle);
    }
    // Detached: it only holds the handle value, and a reset of a handle
    // closed meanwhile fails harmlessly.
    std::thread([handle, direction] {
        returningHeaders = true;
        if (direction == wave::Direction::input) {
            waveInReset(reinterpret_cast<HWAVEIN>(handle));
        } else {
            waveOutReset(reinterpret_cast<HWAVEOUT>(handle));
        }
    }).detach();
}

std::optional<MMRESULT> refusal(const wave::Driver::Call& call) {
    if (returningHeaders || cleansUp(call.fn)) return std::nullopt;
    // Caps and volume calls pass the handle as their device id.
    const UINT_PTR handle = call.handle != 0 ? call.handle : call.deviceId;
    std::lock_guard lock(lost().mutex);
    if (lost().handles.contains(handle)) return MMSYSERR_NODRIVER;
    return std::nullopt;
}

void forget(UINT_PTR handle) {
    std::lock_guard lock(lost().mutex);
    lost().handles.erase(handle);
}

}  // namespace faults

}  // namespace sorvan::alsa
