#include "platform/wave/Handles.h"

#include <mutex>
#include <unordered_map>

namespace sorvan::wave::handles {

namespace {

struct Table {
    std::mutex mutex;
    UINT_PTR last = firstHandle - 1;
    std::unordered_map<UINT_PTR, std::shared_ptr<Stream>> streams;
};

// Never destroyed: device threads may still be running while the process exits.
Table& table() {
    static auto& instance = *new Table;
    return instance;
}

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
    }
}

std::shared_ptr<Stream> find(UINT_PTR handle, Direction direction) {
    auto& t = table();
    std::lock_guard lock(t.mutex);
    const auto found = t.streams.find(handle);
    if (found == t.streams.end() || found->second->direction() != direction) return nullptr;
    return found->second;
}

}  // namespace sorvan::wave::handles
