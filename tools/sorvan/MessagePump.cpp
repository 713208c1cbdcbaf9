#include "tools/sorvan/MessagePump.h"

#include <condition_variable>
#include <mutex>

#include "framework/Forms.h"
#include "framework/Messages.h"

namespace {

constexpr UINT TickMessage = WM_USER + 1;

}  // namespace

MessagePump::MessagePump(std::chrono::milliseconds tick)
    : tick_(tick), window_(AllocateHWnd([this](TMessage&) { tickQueued_ = false; })) {
    ticker_ = std::jthread([this](std::stop_token stop) {
        std::mutex mutex;
        std::condition_variable_any wake;
        std::unique_lock lock(mutex);
        while (!wake.wait_for(lock, stop, tick_, [] { return false; }) && !stop.stop_requested()) {
            if (!tickQueued_.exchange(true)) PostMessage(window_, TickMessage, 0, 0);
        }
    });
}

MessagePump::~MessagePump() {
    ticker_.request_stop();
    ticker_.join();
    DeallocateHWnd(window_);
}

bool MessagePump::RunUntil(const std::function<bool()>& finished,
                           const std::function<void()>& onTick, std::chrono::milliseconds timeout) {
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    auto nextTick = start + tick_;
    while (!finished()) {
        if (timeout != std::chrono::milliseconds::max() && Clock::now() - start >= timeout)
            return false;
        Application->HandleMessage();
        if (Clock::now() >= nextTick) {
            nextTick = Clock::now() + tick_;
            if (onTick) onTick();
        }
    }
    return true;
}
