#include "platform/alsa/AlsaStream.h"

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "platform/alsa/Faults.h"
#include "platform/alsa/Gain.h"

namespace sorvan::alsa {

namespace {

// Bounds a wait on a device that never signals, as some plugins do.
int pollTimeoutMs(const Geometry& geometry, const WAVEFORMATEX& format) {
    const auto bufferMs = geometry.buffer * 1000 / std::max<DWORD>(format.nSamplesPerSec, 1);
    return static_cast<int>(std::clamp<snd_pcm_uframes_t>(bufferMs, 10, 1000));
}

}  // namespace

AlsaStream::AlsaStream(Pcm pcm, wave::Direction direction, const WAVEFORMATEX& format,
                       Geometry geometry, wave::StreamHost& host,
                       std::shared_ptr<OutputVolume> volume)
    : pcm_(std::move(pcm)),
      direction_(direction),
      format_(format),
      geometry_(geometry),
      frameSize_(format.nBlockAlign),
      host_(host),
      volume_(std::move(volume)),
      silentSource_(snd_pcm_type(pcm_.get()) == SND_PCM_TYPE_NULL),
      period_(direction == wave::Direction::output ? geometry.period * format.nBlockAlign : 0) {
    const int count = std::max(snd_pcm_poll_descriptors_count(pcm_.get()), 0);
    pollFds_.resize(static_cast<std::size_t>(count) + 1);
    snd_pcm_poll_descriptors(pcm_.get(), pollFds_.data(), static_cast<unsigned>(count));
    pollFds_.back() = {.fd = wakeup_.fd(), .events = POLLIN, .revents = 0};
    thread_ = std::thread([this] { run(); });
}

AlsaStream::~AlsaStream() {
    request(Want::quit);
    thread_.join();
}

MMRESULT AlsaStream::start() {
    return request(Want::running);
}

MMRESULT AlsaStream::stop() {
    return request(Want::stopped);
}

// Most headers come while the thread waits for the device with other
// headers in hand; only one waiting for a header needs the wake-up.
void AlsaStream::dataQueued() {
    if (waitingForData_.exchange(false)) wakeup_.signal();
}

MMRESULT AlsaStream::request(Want want) {
    std::unique_lock lock(mutex_);
    want_ = want;
    const std::uint64_t number = ++requested_;
    wakeup_.signal();
    carriedOut_.wait(lock, [&] { return carried_ >= number; });
    return result_;
}

bool AlsaStream::requestPending() {
    std::lock_guard lock(mutex_);
    return requested_ != carried_;
}

void AlsaStream::run() {
    for (;;) {
        Want want{};
        std::uint64_t number = 0;
        {
            std::lock_guard lock(mutex_);
            want = want_;
            number = requested_;
        }
        if (number != carried_) {
            const MMRESULT result = carryOut(want);
            {
                std::lock_guard lock(mutex_);
                carried_ = number;
                result_ = result;
            }
            carriedOut_.notify_all();
            continue;
        }
        if (want == Want::quit) return;
        if (!moving_) {
            waitForRequest();
        } else if (direction_ == wave::Direction::input) {
            capture();
        } else {
            play();
        }
    }
}

MMRESULT AlsaStream::carryOut(Want want) {
    snd_pcm_t* pcm = pcm_.get();
    if (want != Want::running) {
        if (moving_ && want == Want::quit && direction_ == wave::Direction::output) {
            playOut();
        }
        if (moving_) snd_pcm_drop(pcm);
        moving_ = false;
        return MMSYSERR_NOERROR;
    }
    if (lost_) return MMSYSERR_NODRIVER;
    if (moving_) return MMSYSERR_NOERROR;
    int e = snd_pcm_state(pcm) == SND_PCM_STATE_PREPARED ? 0 : snd_pcm_prepare(pcm);
    // Playback starts by itself once a period is written.
    if (e == 0 && direction_ == wave::Direction::input) e = snd_pcm_start(pcm);
    if (e < 0) return resultOf(e);
    moving_ = true;
    starved_ = false;
    return MMSYSERR_NOERROR;
}

void AlsaStream::capture() {
    const std::span<std::byte> space = host_.captureSpace();
    if (space.empty()) {
        starved_ = true;
        waitForData();
        return;
    }
    const auto frames = std::min<snd_pcm_uframes_t>(space.size() / frameSize_, geometry_.period);
    const snd_pcm_sframes_t got = snd_pcm_readi(pcm_.get(), space.data(), frames);
    if (got > 0 && silentSource_) {
        snd_pcm_format_set_silence(sampleFormat(format_.wBitsPerSample), space.data(),
                                   static_cast<unsigned>(got) * format_.nChannels);
    }
    // A stop or reset waits for the buffer to come back, so it comes back
    // before anything here waits or reports a lost device.
    host_.captured(got > 0 ? static_cast<std::size_t>(got) * frameSize_ : 0);
    if (got == -EAGAIN || got == 0) {
        waitForDevice();
    } else if (got < 0) {
        recover(got);
    } else {
        starved_ = false;
    }
}

void AlsaStream::play() {
    snd_pcm_t* pcm = pcm_.get();
    const std::size_t pending = host_.pendingBytes();
    if (pending == 0) {
        // A sound shorter than the start threshold has to be started by hand.
        if (snd_pcm_state(pcm) == SND_PCM_STATE_PREPARED &&
            snd_pcm_avail_update(pcm) < static_cast<snd_pcm_sframes_t>(geometry_.buffer)) {
            snd_pcm_start(pcm);
        }
        starved_ = true;
        waitForData();
        return;
    }
    const snd_pcm_sframes_t room = snd_pcm_avail_update(pcm);
    if (room < 0) {
        recover(room);
        return;
    }
    const auto frames =
        std::min<snd_pcm_uframes_t>(geometry_.period, (pending + frameSize_ - 1) / frameSize_);
    if (static_cast<snd_pcm_uframes_t>(room) < frames) {
        waitForDevice();
        return;
    }
    const std::size_t bytes = host_.play(std::span(period_).first(frames * frameSize_));
    if (bytes == 0) return;
    applyVolume(std::span(period_).first(bytes), format_, volume_->gain());
    writeAll(bytes / frameSize_);
    starved_ = false;
}

void AlsaStream::playOut() {
    snd_pcm_t* pcm = pcm_.get();
    if (snd_pcm_state(pcm) == SND_PCM_STATE_PREPARED) snd_pcm_start(pcm);
    snd_pcm_sframes_t delay = 0;
    if (snd_pcm_state(pcm) != SND_PCM_STATE_RUNNING || snd_pcm_delay(pcm, &delay) < 0) return;
    const auto frames = std::clamp<snd_pcm_sframes_t>(delay, 0, geometry_.buffer);
    std::this_thread::sleep_for(
        std::chrono::microseconds(frames * 1'000'000 / format_.nSamplesPerSec));
}

void AlsaStream::writeAll(std::size_t frames) {
    std::size_t done = 0;
    while (done < frames) {
        const snd_pcm_sframes_t written =
            snd_pcm_writei(pcm_.get(), period_.data() + done * frameSize_, frames - done);
        if (written == -EAGAIN || written == 0) {
            // Frames cut off by a stop or reset were not going to play anyway.
            if (!waitForDevice() && requestPending()) return;
        } else if (written < 0) {
            if (!recover(written)) return;
        } else {
            done += static_cast<std::size_t>(written);
        }
    }
}

bool AlsaStream::recover(long error) {
    snd_pcm_t* pcm = pcm_.get();
    int e = static_cast<int>(error);
    if (e == -EINTR) return true;
    if (e == -EPIPE) {
        if (!starved_) faults::countXrun();
        e = snd_pcm_prepare(pcm);
    } else if (e == -ESTRPIPE) {
        while ((e = snd_pcm_resume(pcm)) == -EAGAIN && !requestPending()) {
            poll(&pollFds_.back(), 1, 10);
        }
        if (e < 0) e = snd_pcm_prepare(pcm);
    }
    if (e == 0 && direction_ == wave::Direction::input) e = snd_pcm_start(pcm);
    if (e < 0) {
        lose();
        return false;
    }
    return true;
}

void AlsaStream::lose() {
    lost_ = true;
    moving_ = false;
    if (const UINT_PTR handle = handle_.load(); handle != 0) faults::deviceLost(handle, direction_);
}

void AlsaStream::waitForData() {
    waitingForData_.store(true);
    // The core queues a header under its lock and only then calls
    // dataQueued; looking at the queue (under that lock) after raising the
    // flag finds every header queued before the flag was seen.
    if (host_.pendingBytes() == 0) waitForRequest();
    waitingForData_.store(false);
}

void AlsaStream::waitForRequest() {
    poll(&pollFds_.back(), 1, -1);
    wakeup_.clear();
}

bool AlsaStream::waitForDevice() {
    for (auto& fd : pollFds_) fd.revents = 0;
    poll(pollFds_.data(), pollFds_.size(), pollTimeoutMs(geometry_, format_));
    if (pollFds_.back().revents != 0) {
        wakeup_.clear();
        return false;
    }
    unsigned short events = 0;
    snd_pcm_poll_descriptors_revents(pcm_.get(), pollFds_.data(), pollFds_.size() - 1, &events);
    return true;
}

}  // namespace sorvan::alsa
