#include "PulseTestStreams.h"

#include <cmath>
#include <cstring>
#include <thread>
#include <numbers>

namespace sorvan::pulsetest {

WAVEFORMATEX testFormat() {
    return wavetest::pcmFormat(2, 48000, 16);
}

namespace {

template <class Caps, class GetCaps>
UINT deviceNamed(const char* name, UINT count, GetCaps getCaps) {
    for (UINT id = 0; id < count; ++id) {
        Caps caps{};
        if (getCaps(id, &caps, sizeof caps) == MMSYSERR_NOERROR && std::strcmp(caps.szPname, name) == 0) {
            return id;
        }
    }
    return noDevice;
}

}  // namespace

UINT inputNamed(const char* name) {
    return deviceNamed<WAVEINCAPSA>(name, waveInGetNumDevs(), &waveInGetDevCapsA);
}

UINT outputNamed(const char* name) {
    return deviceNamed<WAVEOUTCAPSA>(name, waveOutGetNumDevs(), &waveOutGetDevCapsA);
}

void pump(wavetest::NotificationWindow& window, std::chrono::milliseconds duration,
          const std::function<void(const wavetest::Notification&)>& take,
          const std::function<bool()>& done) {
    const auto until = std::chrono::steady_clock::now() + duration;
    while (std::chrono::steady_clock::now() < until && !done()) {
        for (const auto& n : window.take()) take(n);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

Recorder::Recorder(wavetest::NotificationWindow& window, UINT id, std::size_t buffers,
                   std::size_t bufferBytes) {
    const WAVEFORMATEX format = testFormat();
    if (waveInOpen(&handle_, id, &format, window.callback(), 0, CALLBACK_WINDOW) !=
        MMSYSERR_NOERROR) {
        handle_ = nullptr;
        return;
    }
    for (std::size_t i = 0; i < buffers; ++i) {
        wavetest::Buffer& buffer = buffers_.make(bufferBytes);
        waveInPrepareHeader(handle_, buffer.hdr(), sizeof(WAVEHDR));
        waveInAddBuffer(handle_, buffer.hdr(), sizeof(WAVEHDR));
    }
    waveInStart(handle_);
}

Recorder::~Recorder() {
    if (handle_ == nullptr) return;
    waveInReset(handle_);
    waveInClose(handle_);
    wavetest::pumpMessages();
}

void Recorder::take(const wavetest::Notification& notification, bool keepGoing) {
    if (notification.msg != MM_WIM_DATA || notification.handle != wavetest::handleValue(handle_)) {
        return;
    }
    ++returned_;
    auto* header = reinterpret_cast<WAVEHDR*>(notification.param);
    const auto* frames = reinterpret_cast<const std::int16_t*>(header->lpData);
    for (DWORD i = 0; i + 1 < notification.bytesRecorded / 2; i += 2) left_.push_back(frames[i]);
    if (keepGoing) waveInAddBuffer(handle_, header, sizeof(WAVEHDR));
}

Player::Player(wavetest::NotificationWindow& window, UINT id, double hz, std::size_t blocks,
               std::size_t blockMs)
    : blocks_(blocks) {
    const WAVEFORMATEX format = testFormat();
    if (waveOutOpen(&handle_, id, &format, window.callback(), 0, CALLBACK_WINDOW) !=
        MMSYSERR_NOERROR) {
        handle_ = nullptr;
        return;
    }
    const std::size_t frames = format.nSamplesPerSec * blockMs / 1000;
    std::size_t at = 0;
    for (std::size_t b = 0; b < blocks; ++b) {
        wavetest::Buffer& block = buffers_.make(frames * format.nBlockAlign);
        auto* samples = reinterpret_cast<std::int16_t*>(block.data.data());
        for (std::size_t f = 0; f < frames; ++f, ++at) {
            const auto value = static_cast<std::int16_t>(
                12000 * std::sin(2 * std::numbers::pi * hz * double(at) / format.nSamplesPerSec));
            samples[2 * f] = samples[2 * f + 1] = value;
        }
        waveOutPrepareHeader(handle_, block.hdr(), sizeof(WAVEHDR));
        waveOutWrite(handle_, block.hdr(), sizeof(WAVEHDR));
    }
}

Player::~Player() {
    if (handle_ == nullptr) return;
    waveOutReset(handle_);
    waveOutClose(handle_);
    wavetest::pumpMessages();
}

void Player::take(const wavetest::Notification& notification) {
    if (notification.msg == MM_WOM_DONE && notification.handle == wavetest::handleValue(handle_)) {
        ++done_;
    }
}

}  // namespace sorvan::pulsetest
