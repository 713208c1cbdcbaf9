// Memory that a device may still read or write after its owner is gone.
//
// When a device refuses every attempt to get its queued buffers back, freeing
// them would let it write into freed memory. They are left to it instead: a
// bounded leak, and a deliberate one, so LeakSanitizer is told not to report
// it (nor what it points to).
#pragma once

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SORVAN_LEAK_CHECKED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define SORVAN_LEAK_CHECKED 1
#endif

#ifdef SORVAN_LEAK_CHECKED
#include <sanitizer/lsan_interface.h>
#endif

template <class T>
void LeaveToDevice(T* memory) {
#ifdef SORVAN_LEAK_CHECKED
    __lsan_ignore_object(memory);
#else
    static_cast<void>(memory);
#endif
}
