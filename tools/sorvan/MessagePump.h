// Runs the main thread's message loop, where the components' notifications
// are handled, until the work is done. The loop waits on the descriptor of
// the thread's message queue with a timeout, so that progress is redrawn and
// a stop request is seen at a steady pace even when the device has nothing
// to say, without a thread or a message of its own.
#pragma once

#include <chrono>
#include <functional>

class MessagePump {
  public:
    explicit MessagePump(std::chrono::milliseconds tick = std::chrono::milliseconds(100));
    MessagePump(const MessagePump&) = delete;
    MessagePump& operator=(const MessagePump&) = delete;

    // Handles messages until `finished` returns true, calling `onTick` about
    // once per tick. Returns false when `timeout` passed first.
    bool RunUntil(const std::function<bool()>& finished, const std::function<void()>& onTick = {},
                  std::chrono::milliseconds timeout = std::chrono::milliseconds::max());

  private:
    std::chrono::milliseconds tick_;
    int queue_ = -1;
};
