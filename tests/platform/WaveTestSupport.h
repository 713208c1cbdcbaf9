// What the waveform audio tests share: a window that records the
// notifications it gets, capture/playback buffers with their headers, and
// PCM formats.
#pragma once

#include <cstddef>
#include <deque>
#include <vector>

#include "platform/WaveApi.h"

namespace sorvan::wavetest {

// A notification as the window saw it when it was dispatched.
struct Notification {
    UINT msg;
    UINT_PTR handle;
    LPARAM param;
    DWORD flags = 0;          // the header's dwFlags at delivery, for DATA/DONE
    DWORD bytesRecorded = 0;  // the header's dwBytesRecorded at delivery
};

// Handles every message waiting on the calling thread.
void pumpMessages();

class NotificationWindow {
  public:
    NotificationWindow();
    ~NotificationWindow();
    NotificationWindow(const NotificationWindow&) = delete;
    NotificationWindow& operator=(const NotificationWindow&) = delete;

    DWORD_PTR callback() const { return reinterpret_cast<DWORD_PTR>(hwnd_); }
    // Pumps, then hands over (and forgets) what arrived so far.
    std::vector<Notification> take();

  private:
    static LRESULT CALLBACK receive(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

    HWND hwnd_;
    std::vector<Notification> received_;
};

// A data buffer and its header; the header points into the buffer.
struct Buffer {
    explicit Buffer(std::size_t size, char fill = 0);
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;

    LPWAVEHDR hdr() { return &header; }
    LPARAM param() { return reinterpret_cast<LPARAM>(&header); }

    std::vector<char> data;
    WAVEHDR header{};
};

// Buffers that outlive every stream of a test, so that a test stopped half
// way cannot leave a device writing into freed memory.
class Buffers {
  public:
    Buffer& make(std::size_t size, char fill = 0) { return buffers_.emplace_back(size, fill); }

  private:
    std::deque<Buffer> buffers_;
};

WAVEFORMATEX pcmFormat(WORD channels, DWORD rate, WORD bits);

template <class Handle>
UINT_PTR handleValue(Handle handle) {
    return reinterpret_cast<UINT_PTR>(handle);
}

}  // namespace sorvan::wavetest
