#include "platform/wave/Handles.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <unordered_map>

namespace sorvan::wave::handles {

namespace {

struct Table {
    std::mutex mutex;
    UINT_PTR last = firstHandle - 1;
    std::unordered_map<UINT_PTR, std::shared_ptr<Stream>> streams;
    // Moves on with every removal; a thread's remembered lookups hold only
    // while it has not moved.
    std::atomic<std::uint64_t> removals{0};
};

// Never destroyed: device threads may still be running while the process exits.
Table& table() {
    static auto& instance = *new Table;
    return instance;
}

// The streams this thread found last. Every buffer costs a few calls on the
// same handle from the same thread; remembering them keeps those calls off
// the table's lock. Weak, so that a remembered stream is not kept open.
class RecentLookups {
  public:
    std::shared_ptr<Stream> find(UINT_PTR handle, std::uint64_t removals) const {
        for (const Entry& entry : entries_) {
            if (entry.handle == handle && entry.removals == removals) return entry.stream.lock();
        }
        return nullptr;
    }

    void remember(UINT_PTR handle, std::uint64_t removals, const std::shared_ptr<Stream>& stream) {
        entries_[next_] = {handle, removals, stream};
        next_ = (next_ + 1) % entries_.size();
    }

  private:
    struct Entry {
        UINT_PTR handle = 0;
        std::uint64_t removals = 0;
        std::weak_ptr<Stream> stream;
    };
    std::array<Entry, 4> entries_{};
    std::size_t next_ = 0;
};

thread_local RecentLookups recent;

}  // namespace

UINT_PTR add(std::shared_ptr<Stream> stream) {
    auto& t = table();
    std::lock_guard lock(t.mutex);
    if (t.last >= lastHandle) return 0;
    const UINT_PTR handle = ++t.last;
    t.streams.emplace(handle, std::move(stream));
    return handle;
}

void remove(UINT_PTR handle) {
    std::shared_ptr<Stream> removed;
    auto& t = table();
    std::lock_guard lock(t.mutex);
    if (const auto found = t.streams.find(handle); found != t.streams.end()) {
        removed = std::move(found->second);
        t.streams.erase(found);
        t.removals.fetch_add(1, std::memory_order_release);
    }
}

std::shared_ptr<Stream> find(UINT_PTR handle, Direction direction) {
    auto& t = table();
    const std::uint64_t removals = t.removals.load(std::memory_order_acquire);
    auto stream = recent.find(handle, removals);
    if (stream == nullptr) {
        std::lock_guard lock(t.mutex);
        const auto found = t.streams.find(handle);
        if (found == t.streams.end()) return nullptr;
        stream = found->second;
        recent.remember(handle, t.removals.load(std::memory_order_relaxed), stream);
    }
    return stream->direction() == direction ? stream : nullptr;
}

}  // namespace sorvan::wave::handles
