// The open streams by handle value.
//
// Handle values count up from 0x10001 and are never handed out twice. They
// stay above 0xFFFF and within 32 bits so that the calls taking "a device
// number or a handle" in one argument can tell the two apart, and so that a
// handle squeezed into an open call's UINT device id is still no device.
#pragma once

#include <memory>

#include "platform/wave/Stream.h"

namespace sorvan::wave::handles {

inline constexpr UINT_PTR firstHandle = 0x10001;
inline constexpr UINT_PTR lastHandle = 0xFFFFFFFE;

// The handle for a newly opened stream, or 0 when the values are used up.
UINT_PTR add(std::shared_ptr<Stream> stream);
// Undoes add for a stream whose open failed; the value stays used.
void remove(UINT_PTR handle);
// The open stream of that direction, or null.
std::shared_ptr<Stream> find(UINT_PTR handle, Direction direction);

template <class Handle>
UINT_PTR value(Handle handle) {
    return reinterpret_cast<UINT_PTR>(handle);
}

}  // namespace sorvan::wave::handles
