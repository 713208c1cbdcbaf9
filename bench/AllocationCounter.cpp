#include "bench/AllocationCounter.h"

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

namespace {

std::atomic<std::int64_t> everywhere{0};
thread_local std::int64_t onThisThread = 0;

}  // namespace

std::int64_t AllocationsEverywhere() {
    return everywhere.load(std::memory_order_relaxed);
}

std::int64_t AllocationsOnThisThread() {
    return onThisThread;
}

// Every form of new ends in malloc, so free is the matching release. The
// compiler sees the replaced pair inline and would take it for a mismatch.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
    everywhere.fetch_add(1, std::memory_order_relaxed);
    ++onThisThread;
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return operator new(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return operator new(size, std::nothrow);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
