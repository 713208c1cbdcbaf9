#include "tools/sorvan/MessagePump.h"

#include <poll.h>

#include <algorithm>
#include <thread>

#include "framework/Forms.h"

MessagePump::MessagePump(std::chrono::milliseconds tick)
    : tick_(tick), queue_(Application->QueueDescriptor()) {}

bool MessagePump::RunUntil(const std::function<bool()>& finished,
                           const std::function<void()>& onTick, std::chrono::milliseconds timeout) {
    using Clock = std::chrono::steady_clock;
    using std::chrono::milliseconds;
    const auto start = Clock::now();
    const bool bounded = timeout != milliseconds::max();
    auto nextTick = start + tick_;
    while (!finished()) {
        const auto now = Clock::now();
        if (bounded && now - start >= timeout) return false;
        auto until = nextTick;
        if (bounded) until = std::min(until, start + timeout);
        const auto wait =
            std::chrono::ceil<milliseconds>(std::max(until - now, Clock::duration(0)));
        if (queue_ < 0) {
            // No descriptor from the system (out of descriptors): short naps.
            Application->ProcessMessages();
            std::this_thread::sleep_for(std::min<milliseconds>(wait, milliseconds(2)));
        } else {
            pollfd watched{queue_, POLLIN, 0};
            // A signal (Ctrl-C) may end the wait early; `finished` says what then.
            if (poll(&watched, 1, static_cast<int>(wait.count())) > 0)
                Application->ProcessMessages();
        }
        if (Clock::now() >= nextTick) {
            nextTick = Clock::now() + tick_;
            if (onTick) onTick();
        }
    }
    return true;
}
