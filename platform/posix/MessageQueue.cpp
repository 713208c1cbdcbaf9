#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/posix/WinUser.h"

namespace {

// A first-in first-out queue of messages that reuses its storage: once it has
// grown to the most messages ever waiting at once, posting no longer allocates.
class MessageRing {
  public:
    bool empty() const { return count_ == 0; }
    const MSG& front() const { return slots_[first_]; }

    void push_back(const MSG& msg) {
        if (count_ == slots_.size()) grow();
        slots_[(first_ + count_) % slots_.size()] = msg;
        ++count_;
    }

    void pop_front() {
        first_ = (first_ + 1) % slots_.size();
        --count_;
    }

  private:
    void grow() {
        std::vector<MSG> larger(std::max<std::size_t>(16, slots_.size() * 2));
        for (std::size_t i = 0; i < count_; ++i) larger[i] = slots_[(first_ + i) % slots_.size()];
        slots_ = std::move(larger);
        first_ = 0;
    }

    std::vector<MSG> slots_;
    std::size_t first_ = 0;
    std::size_t count_ = 0;
};

struct ThreadQueue {
    std::mutex mutex;
    std::condition_variable posted;
    MessageRing messages;
    bool quitPending = false;
    int quitCode = 0;
};

struct Window {
    WNDPROC proc;
    LONG_PTR userData;
    std::shared_ptr<ThreadQueue> queue;
};

// Every window of the process, by handle value. Handle values count up and are
// never reused, so a stale handle can never reach a newer window.
class WindowTable {
  public:
    HWND add(Window window) {
        std::lock_guard lock(mutex_);
        const auto id = ++lastId_;
        windows_.emplace(id, std::move(window));
        return toHandle(id);
    }

    bool remove(HWND hwnd, const ThreadQueue* owner) {
        std::lock_guard lock(mutex_);
        const auto found = windows_.find(toId(hwnd));
        if (found == windows_.end() || found->second.queue.get() != owner) return false;
        windows_.erase(found);
        return true;
    }

    // The lookups copy what the caller needs under the lock: the window may be
    // destroyed by its owner as soon as the lock is released.
    LONG_PTR userDataOf(HWND hwnd) {
        std::lock_guard lock(mutex_);
        const auto found = windows_.find(toId(hwnd));
        return found == windows_.end() ? 0 : found->second.userData;
    }

    WNDPROC procOf(HWND hwnd) {
        std::lock_guard lock(mutex_);
        const auto found = windows_.find(toId(hwnd));
        return found == windows_.end() ? nullptr : found->second.proc;
    }

    std::shared_ptr<ThreadQueue> queueOf(HWND hwnd) {
        std::lock_guard lock(mutex_);
        const auto found = windows_.find(toId(hwnd));
        return found == windows_.end() ? nullptr : found->second.queue;
    }

  private:
    static std::uintptr_t toId(HWND hwnd) { return reinterpret_cast<std::uintptr_t>(hwnd); }
    static HWND toHandle(std::uintptr_t id) { return reinterpret_cast<HWND>(id); }

    std::mutex mutex_;
    std::uintptr_t lastId_ = 0;
    std::unordered_map<std::uintptr_t, Window> windows_;
};

WindowTable& windows() {
    static WindowTable table;
    return table;
}

const std::shared_ptr<ThreadQueue>& currentQueue() {
    thread_local const auto queue = std::make_shared<ThreadQueue>();
    return queue;
}

bool takeMessage(ThreadQueue& queue, MSG& msg) {
    if (!queue.messages.empty()) {
        msg = queue.messages.front();
        queue.messages.pop_front();
        return true;
    }
    if (queue.quitPending) {
        queue.quitPending = false;
        msg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(queue.quitCode), 0, 0, {0, 0}};
        return true;
    }
    return false;
}

bool filtered(HWND hwnd, UINT first, UINT last) {
    return hwnd != nullptr || first != 0 || last != 0;
}

}  // namespace

HWND CreateMessageWindow(WNDPROC proc, LONG_PTR userData) {
    if (proc == nullptr) return nullptr;
    return windows().add(Window{proc, userData, currentQueue()});
}

BOOL DestroyWindow(HWND hwnd) {
    return windows().remove(hwnd, currentQueue().get()) ? TRUE : FALSE;
}

BOOL IsWindow(HWND hwnd) {
    return windows().procOf(hwnd) != nullptr ? TRUE : FALSE;
}

LONG_PTR GetWindowLongPtrA(HWND hwnd, int index) {
    return index == GWLP_USERDATA ? windows().userDataOf(hwnd) : 0;
}

BOOL PostMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    const auto queue = windows().queueOf(hwnd);
    if (queue == nullptr) return FALSE;
    {
        std::lock_guard lock(queue->mutex);
        queue->messages.push_back(MSG{hwnd, msg, wParam, lParam, 0, {0, 0}});
    }
    queue->posted.notify_one();
    return TRUE;
}

void PostQuitMessage(int exitCode) {
    auto& queue = *currentQueue();
    std::lock_guard lock(queue.mutex);
    queue.quitPending = true;
    queue.quitCode = exitCode;
}

BOOL GetMessageA(MSG* msg, HWND hwnd, UINT first, UINT last) {
    if (msg == nullptr || filtered(hwnd, first, last)) return -1;
    auto& queue = *currentQueue();
    std::unique_lock lock(queue.mutex);
    queue.posted.wait(lock, [&] { return takeMessage(queue, *msg); });
    return msg->message == WM_QUIT ? FALSE : TRUE;
}

BOOL PeekMessageA(MSG* msg, HWND hwnd, UINT first, UINT last, UINT removeFlags) {
    if (msg == nullptr || filtered(hwnd, first, last)) return FALSE;
    auto& queue = *currentQueue();
    std::lock_guard lock(queue.mutex);
    if (removeFlags & PM_REMOVE) return takeMessage(queue, *msg) ? TRUE : FALSE;
    if (!queue.messages.empty()) {
        *msg = queue.messages.front();
        return TRUE;
    }
    return FALSE;
}

LRESULT DispatchMessageA(const MSG* msg) {
    if (msg == nullptr) return 0;
    const WNDPROC proc = windows().procOf(msg->hwnd);
    return proc == nullptr ? 0 : proc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

LRESULT DefWindowProcA(HWND, UINT, WPARAM, LPARAM) {
    return 0;
}
