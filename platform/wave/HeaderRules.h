// What a header call answers from the header's flags and whether its handle
// names an open stream, in the order the API checks them. The stream asks
// this under its own lock, so that no flag is read while a device thread
// retires the header.
#pragma once

#include <optional>

#include "platform/WaveApi.h"

namespace sorvan::wave {

enum class HeaderCall { prepare, unprepare, addBuffer, write };

// The answer, or nullopt when the call goes on to the stream.
inline std::optional<MMRESULT> headerVerdict(HeaderCall call, const WAVEHDR& header, bool open) {
    const DWORD flags = header.dwFlags;
    switch (call) {
        case HeaderCall::prepare:
            if (flags & WHDR_PREPARED) return MMSYSERR_NOERROR;
            break;
        case HeaderCall::unprepare:
            if (flags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
            if (!(flags & WHDR_PREPARED)) return MMSYSERR_NOERROR;
            break;
        case HeaderCall::addBuffer:
            if (!(flags & WHDR_PREPARED)) return WAVERR_UNPREPARED;
            if (flags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
            break;
        case HeaderCall::write:
            if (!open) return MMSYSERR_INVALHANDLE;
            if (!(flags & WHDR_PREPARED) || header.lpData == nullptr) return WAVERR_UNPREPARED;
            if (flags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
            break;
    }
    if (!open) return MMSYSERR_INVALHANDLE;
    return std::nullopt;
}

}  // namespace sorvan::wave
