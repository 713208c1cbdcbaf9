#include "WaveTestSupport.h"

#include <utility>

namespace sorvan::wavetest {

void pumpMessages() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
}

NotificationWindow::NotificationWindow()
    : hwnd_(CreateMessageWindow(&receive, reinterpret_cast<LONG_PTR>(this))) {}

NotificationWindow::~NotificationWindow() {
    DestroyWindow(hwnd_);
}

std::vector<Notification> NotificationWindow::take() {
    pumpMessages();
    return std::exchange(received_, {});
}

LRESULT CALLBACK NotificationWindow::receive(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<NotificationWindow*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    Notification seen{msg, wParam, lParam};
    if ((msg == MM_WIM_DATA || msg == MM_WOM_DONE) && lParam != 0) {
        const auto* header = reinterpret_cast<const WAVEHDR*>(lParam);
        seen.flags = header->dwFlags;
        seen.bytesRecorded = header->dwBytesRecorded;
    }
    self->received_.push_back(seen);
    return 0;
}

Buffer::Buffer(std::size_t size, char fill) : data(size, fill) {
    header.lpData = data.data();
    header.dwBufferLength = static_cast<DWORD>(size);
}

WAVEFORMATEX pcmFormat(WORD channels, DWORD rate, WORD bits) {
    const auto blockAlign = static_cast<WORD>(channels * bits / 8);
    return {.wFormatTag = WAVE_FORMAT_PCM,
            .nChannels = channels,
            .nSamplesPerSec = rate,
            .nAvgBytesPerSec = rate * blockAlign,
            .nBlockAlign = blockAlign,
            .wBitsPerSample = bits,
            .cbSize = 0};
}

}  // namespace sorvan::wavetest
