#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/posix/ThreadQueue.h"
#include "platform/posix/WinUser.h"

namespace {

using sorvan::posix::Posted;
using sorvan::posix::ThreadQueue;
using sorvan::posix::Window;

// Every window of the process, by handle value. Handle values count up and are
// never reused, so a stale handle can never reach a newer window. A message
// looks its window up here once, when it is posted.
class WindowTable {
  public:
    HWND add(WNDPROC proc, LONG_PTR userData, std::weak_ptr<ThreadQueue> queue) {
        std::lock_guard lock(mutex_);
        if (++lastId_ == toId(HWND_BROADCAST)) ++lastId_;
        const HWND handle = reinterpret_cast<HWND>(lastId_);
        windows_.emplace(lastId_,
                         std::make_shared<Window>(handle, proc, userData, std::move(queue)));
        return handle;
    }

    bool remove(HWND hwnd, const ThreadQueue* owner) {
        std::lock_guard lock(mutex_);
        const auto found = windows_.find(toId(hwnd));
        if (found == windows_.end() || found->second->queue.lock().get() != owner) return false;
        found->second->destroyed.store(true, std::memory_order_relaxed);
        windows_.erase(found);
        return true;
    }

    std::shared_ptr<Window> find(HWND hwnd) {
        std::lock_guard lock(mutex_);
        const auto found = windows_.find(toId(hwnd));
        return found == windows_.end() ? nullptr : found->second;
    }

    std::vector<std::shared_ptr<Window>> all() {
        std::lock_guard lock(mutex_);
        std::vector<std::shared_ptr<Window>> every;
        every.reserve(windows_.size());
        for (const auto& [id, window] : windows_) every.push_back(window);
        return every;
    }

  private:
    static std::uintptr_t toId(HWND hwnd) { return reinterpret_cast<std::uintptr_t>(hwnd); }

    std::mutex mutex_;
    std::uintptr_t lastId_ = 0;
    std::unordered_map<std::uintptr_t, std::shared_ptr<Window>> windows_;
};

WindowTable& windows() {
    static WindowTable table;
    return table;
}

const std::shared_ptr<ThreadQueue>& currentQueue() {
    thread_local const auto queue = std::make_shared<ThreadQueue>();
    return queue;
}

// The window of the message this thread took last, kept for its dispatch,
// and the window whose procedure runs now (for GetWindowLongPtrA).
thread_local std::shared_ptr<Window> taken;
thread_local const Window* dispatching = nullptr;

void keepWindowOf(Posted& posted, MSG& msg) {
    msg = posted.msg;
    taken = std::move(posted.window);
}

bool filtered(HWND hwnd, UINT first, UINT last) {
    return hwnd != nullptr || first != 0 || last != 0;
}

std::shared_ptr<Window> windowToDispatch(HWND hwnd) {
    if (taken != nullptr && taken->handle == hwnd) return std::move(taken);
    return windows().find(hwnd);
}

class Dispatching {
  public:
    explicit Dispatching(const Window* window) : previous_(dispatching) { dispatching = window; }
    ~Dispatching() { dispatching = previous_; }
    Dispatching(const Dispatching&) = delete;
    Dispatching& operator=(const Dispatching&) = delete;

  private:
    const Window* previous_;
};

}  // namespace

HWND CreateMessageWindow(WNDPROC proc, LONG_PTR userData) {
    if (proc == nullptr) return nullptr;
    return windows().add(proc, userData, currentQueue());
}

BOOL DestroyWindow(HWND hwnd) {
    return windows().remove(hwnd, currentQueue().get()) ? TRUE : FALSE;
}

BOOL IsWindow(HWND hwnd) {
    return windows().find(hwnd) != nullptr ? TRUE : FALSE;
}

LONG_PTR GetWindowLongPtrA(HWND hwnd, int index) {
    if (index != GWLP_USERDATA) return 0;
    if (dispatching != nullptr && dispatching->handle == hwnd) {
        return dispatching->userData.load(std::memory_order_acquire);
    }
    const auto window = windows().find(hwnd);
    return window == nullptr ? 0 : window->userData.load(std::memory_order_acquire);
}

LONG_PTR SetWindowLongPtrA(HWND hwnd, int index, LONG_PTR value) {
    if (index != GWLP_USERDATA) return 0;
    const auto window = windows().find(hwnd);
    return window == nullptr ? 0 : window->userData.exchange(value, std::memory_order_acq_rel);
}

namespace {

bool postTo(std::shared_ptr<Window> window, UINT msg, WPARAM wParam, LPARAM lParam) {
    const auto queue = window->queue.lock();
    if (queue == nullptr) return false;
    const HWND hwnd = window->handle;
    queue->post(Posted{MSG{hwnd, msg, wParam, lParam, 0, {0, 0}}, std::move(window)});
    return true;
}

}  // namespace

BOOL PostMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (hwnd == HWND_BROADCAST) {
        // Posted outside the table's lock: a queue's post may wake its owner.
        for (auto& window : windows().all()) postTo(std::move(window), msg, wParam, lParam);
        return TRUE;
    }
    auto window = windows().find(hwnd);
    if (window == nullptr) return FALSE;
    return postTo(std::move(window), msg, wParam, lParam) ? TRUE : FALSE;
}

void PostQuitMessage(int exitCode) {
    currentQueue()->postQuit(exitCode);
}

BOOL GetMessageA(MSG* msg, HWND hwnd, UINT first, UINT last) {
    if (msg == nullptr || filtered(hwnd, first, last)) return -1;
    Posted posted;
    currentQueue()->wait(posted);
    keepWindowOf(posted, *msg);
    return msg->message == WM_QUIT ? FALSE : TRUE;
}

BOOL PeekMessageA(MSG* msg, HWND hwnd, UINT first, UINT last, UINT removeFlags) {
    if (msg == nullptr || filtered(hwnd, first, last)) return FALSE;
    auto& queue = *currentQueue();
    if (!(removeFlags & PM_REMOVE)) return queue.peek(*msg) ? TRUE : FALSE;
    Posted posted;
    if (!queue.take(posted)) return FALSE;
    keepWindowOf(posted, *msg);
    return TRUE;
}

LRESULT DispatchMessageA(const MSG* msg) {
    if (msg == nullptr) return 0;
    const auto window = windowToDispatch(msg->hwnd);
    if (window == nullptr || window->destroyed.load(std::memory_order_relaxed)) return 0;
    const Dispatching scope(window.get());
    return window->proc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

int MessageQueueDescriptor() {
    return currentQueue()->descriptor();
}

LRESULT DefWindowProcA(HWND, UINT, WPARAM, LPARAM) {
    return 0;
}
