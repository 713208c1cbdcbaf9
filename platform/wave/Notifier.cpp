#include "platform/wave/Notifier.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace sorvan::wave {

namespace {

// Function callbacks run on one thread of the layer, one after another in
// posting order, so that none runs inside the call that caused it and none
// overtakes another of the same handle.
class CallbackThread {
  public:
    struct Entry {
        WAVECALLBACK function;
        UINT_PTR handle;
        UINT msg;
        DWORD_PTR instance;
        DWORD_PTR param;
    };

    void post(const Entry& entry) {
        {
            std::lock_guard lock(mutex_);
            entries_.push_back(entry);
            if (!thread_.joinable()) thread_ = std::thread([this] { run(); });
        }
        posted_.notify_one();
    }

  private:
    [[noreturn]] void run() {
        std::unique_lock lock(mutex_);
        for (;;) {
            posted_.wait(lock, [this] { return !entries_.empty(); });
            const Entry entry = entries_.front();
            entries_.pop_front();
            lock.unlock();
            entry.function(reinterpret_cast<HANDLE>(entry.handle), entry.msg, entry.instance,
                           entry.param, 0);
            lock.lock();
        }
    }

    std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<Entry> entries_;
    std::thread thread_;
};

// Never destroyed: the thread may still be running while the process exits.
CallbackThread& callbackThread() {
    static auto& thread = *new CallbackThread;
    return thread;
}

}  // namespace

MMRESULT Notifier::make(DWORD_PTR callback, DWORD_PTR instance, DWORD flags, Notifier& out) {
    const DWORD kind = flags & CALLBACK_TYPEMASK;
    switch (kind) {
        case CALLBACK_NULL:
            out = Notifier{};
            return MMSYSERR_NOERROR;
        case CALLBACK_WINDOW:
            if (callback != 0 && !IsWindow(reinterpret_cast<HWND>(callback))) {
                return MMSYSERR_INVALPARAM;
            }
            break;
        case CALLBACK_FUNCTION:
            break;
        case CALLBACK_THREAD:
        case CALLBACK_EVENT:
            return MMSYSERR_NOTSUPPORTED;
        default:
            return MMSYSERR_INVALFLAG;
    }
    out.kind_ = kind;
    out.target_ = callback;
    out.instance_ = instance;
    return MMSYSERR_NOERROR;
}

void Notifier::notify(UINT_PTR handle, UINT msg, DWORD_PTR param) const {
    if (target_ == 0) return;
    if (kind_ == CALLBACK_WINDOW) {
        // A window destroyed meanwhile simply gets nothing.
        PostMessageA(reinterpret_cast<HWND>(target_), msg, handle, static_cast<LPARAM>(param));
    } else if (kind_ == CALLBACK_FUNCTION) {
        callbackThread().post(
            {reinterpret_cast<WAVECALLBACK>(target_), handle, msg, instance_, param});
    }
}

}  // namespace sorvan::wave
