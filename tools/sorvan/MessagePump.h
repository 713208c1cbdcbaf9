// Runs the main thread's message loop, where the components' notifications
// are handled, until the work is done. A ticker thread wakes the loop at a
// steady pace so that progress is redrawn and a stop request is seen even
// when the device has nothing to say.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "platform/Win32.h"

class MessagePump {
  public:
    explicit MessagePump(std::chrono::milliseconds tick = std::chrono::milliseconds(100));
    ~MessagePump();
    MessagePump(const MessagePump&) = delete;
    MessagePump& operator=(const MessagePump&) = delete;

    // Handles messages until `finished` returns true, calling `onTick` about
    // once per tick. Returns false when `timeout` passed first.
    bool RunUntil(const std::function<bool()>& finished, const std::function<void()>& onTick = {},
                  std::chrono::milliseconds timeout = std::chrono::milliseconds::max());

  private:
    std::chrono::milliseconds tick_;
    HWND window_ = nullptr;
    // At most one tick waits in the queue, however long the loop is busy.
    std::atomic<bool> tickQueued_ = false;
    std::jthread ticker_;
};
