#include "platform/alsa/AlsaStream.h"

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "platform/alsa/Faults.h"
#include "platform/alsa/Gain.h"

namespace sorvan::alsa {

namespace {

// A header of up to the usual period is one period. A longer one is cut into
// the fewest equal periods of at most that length, so that it still ends at
// a period's end while a stop finds no more than a usual period unrecorded.
snd_pcm_uframes_t periodFor(snd_pcm_uframes_t headerFrames, snd_pcm_uframes_t usual) {
    if (headerFrames <= usual) return headerFrames;
    const snd_pcm_uframes_t periods = (headerFrames + usual - 1) / usual;
    return headerFrames / periods;
}

// The most the device's buffer is made to hold, however much is queued.
constexpr snd_pcm_uframes_t maxBufferSeconds = 2;

// A position that moves this far from where the clock says lost or made up
// frames: a server's quantum is 5 ms and more.
constexpr DWORD gapToleranceMs = 3;

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
      configured_(snd_pcm_state(pcm_.get()) != SND_PCM_STATE_OPEN),
      period_(direction == wave::Direction::output ? geometry.period * format.nBlockAlign : 0),
      recent_(direction == wave::Direction::output ? geometry.buffer * format.nBlockAlign : 0),
      captureClock_(format.nSamplesPerSec, format.nSamplesPerSec * gapToleranceMs / 1000) {
    replay_.reserve(direction == wave::Direction::output ? geometry.buffer * frameSize_ : 0);
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

MMRESULT AlsaStream::pause() {
    return request(Want::paused);
}

MMRESULT AlsaStream::resume() {
    return request(Want::running);
}

// Most headers come while the thread waits for the device with other
// headers in hand; only one waiting for a header needs the wake-up.
void AlsaStream::dataQueued() {
    headersQueued_.fetch_add(1, std::memory_order_release);
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
    switch (want) {
        case Want::running:
            return begin();
        case Want::paused:
            pausePlayback();
            return MMSYSERR_NOERROR;
        case Want::stopped:
        case Want::quit:
            halt(want);
            return MMSYSERR_NOERROR;
    }
    return MMSYSERR_NOERROR;
}

MMRESULT AlsaStream::begin() {
    snd_pcm_t* pcm = pcm_.get();
    if (lost_) return MMSYSERR_NODRIVER;
    if (moving_) return MMSYSERR_NOERROR;
    if (pausedInDevice_) {
        pausedInDevice_ = false;
        if (snd_pcm_pause(pcm, 0) == 0) {
            moving_ = true;
            starved_ = false;
            return MMSYSERR_NOERROR;
        }
        snd_pcm_drop(pcm);  // what it held is lost; start over
        reportAllHeard();
    }
    // Capture starts with the first buffer, playback by itself once a
    // period is written: the device is fitted to that first header then
    // (set up for the first time, when the open left that to the start).
    const int e = !configured_ || snd_pcm_state(pcm) == SND_PCM_STATE_PREPARED ? 0 : snd_pcm_prepare(pcm);
    if (e < 0) {
        if (e == -ENODEV) lose();
        return resultOf(e);
    }
    moving_ = true;
    starved_ = false;
    fitted_ = false;
    writtenFrames_ = 0;
    capturedFrames_ = 0;
    captureClock_.restart();
    heardFrames_ = 0;
    if (!replay_.empty()) {
        writeAll(replay_);
        replay_.clear();
    }
    return MMSYSERR_NOERROR;
}

bool AlsaStream::fitTo(std::size_t headerBytes, std::size_t queuedBytes) {
    fitted_ = true;
    snd_pcm_uframes_t wanted = periodFor(headerBytes / frameSize_, defaultPeriod(format_));
    if (wanted == 0) wanted = geometry_.period;
    const auto mostBuffer = static_cast<snd_pcm_uframes_t>(format_.nSamplesPerSec) * maxBufferSeconds;
    const snd_pcm_uframes_t buffer = std::min<snd_pcm_uframes_t>(queuedBytes / frameSize_, mostBuffer);
    if (configured_ && wanted == geometry_.period && buffer <= geometry_.buffer) return true;
    snd_pcm_t* pcm = pcm_.get();
    Geometry fitted;
    if (configured_) snd_pcm_hw_free(pcm);
    // Should the device refuse every period near the one wanted, it gets the usual one.
    if (configure(pcm, direction_, format_, wanted, buffer, fitted) < 0 &&
        configure(pcm, direction_, format_, defaultPeriod(format_), 0, fitted) < 0) {
        return false;
    }
    configured_ = true;
    geometry_ = fitted;
    if (direction_ == wave::Direction::output) {
        period_.resize(geometry_.period * frameSize_);
        recent_ = RecentFrames(geometry_.buffer * frameSize_);
        replay_.reserve(geometry_.buffer * frameSize_);
    }
    snd_pcm_poll_descriptors(pcm_.get(), pollFds_.data(), static_cast<unsigned>(pollFds_.size() - 1));
    return true;
}

void AlsaStream::halt(Want want) {
    snd_pcm_t* pcm = pcm_.get();
    if (moving_ && want == Want::quit && direction_ == wave::Direction::output) playOut();
    if (moving_ || pausedInDevice_) snd_pcm_drop(pcm);
    moving_ = false;
    pausedInDevice_ = false;
    replay_.clear();
    recent_.clear();
}

void AlsaStream::pausePlayback() {
    snd_pcm_t* pcm = pcm_.get();
    if (!moving_) return;
    moving_ = false;
    if (geometry_.canPause && snd_pcm_state(pcm) == SND_PCM_STATE_RUNNING &&
        snd_pcm_pause(pcm, 1) == 0) {
        pausedInDevice_ = true;
        return;
    }
    // The device cannot hold its frames over a pause: take back those it
    // has not played yet, and give them to it again on resume (where they
    // count as written anew).
    snd_pcm_sframes_t delay = 0;
    if (snd_pcm_delay(pcm, &delay) < 0) delay = 0;
    const auto unplayed = std::min(static_cast<std::uint64_t>(std::max<snd_pcm_sframes_t>(delay, 0)),
                                   writtenFrames_ - heardFrames_);
    const std::span<const std::byte> kept = recent_.last(unplayed * frameSize_);
    replay_.assign(kept.begin(), kept.end());
    recent_.clear();
    snd_pcm_drop(pcm);
    // What it played is heard; the rest counts once it is written again.
    writtenFrames_ -= unplayed;
    reportAllHeard();
}

void AlsaStream::capture() {
    const std::span<std::byte> space = host_.captureSpace();
    if (space.empty()) {
        starved_ = true;
        waitForData();
        return;
    }
    if (!fitted_) {
        const bool fits = fitTo(space.size(), host_.pendingBytes());
        const int e = fits ? snd_pcm_start(pcm_.get()) : -ENODEV;
        if (e < 0) {
            host_.captured(0);
            if (fits) {
                recover(e);
            } else {
                lose();
            }
            return;
        }
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
        waitForDevice(frames);
    } else if (got < 0) {
        recover(got);
    } else {
        starved_ = false;
        dryFrom_ = Clock::now();
        capturedFrames_ += static_cast<std::uint64_t>(got);
        watchPosition();
    }
}

void AlsaStream::watchPosition() {
    const snd_pcm_sframes_t waiting = snd_pcm_avail_update(pcm_.get());
    if (waiting < 0) return;
    const std::uint64_t position = capturedFrames_ + static_cast<std::uint64_t>(waiting);
    if (const std::uint64_t frames = captureClock_.gapAt(position, dryFrom_)) {
        host_.gap(wave::StreamHost::Gap::device, frames);
    }
}

std::size_t AlsaStream::framesSinceDry() const {
    const auto since = Clock::now() - dryFrom_;
    if (since <= Clock::duration::zero()) return 0;
    return static_cast<std::size_t>(std::chrono::duration<double>(since).count() *
                                    format_.nSamplesPerSec);
}

void AlsaStream::play() {
    snd_pcm_t* pcm = pcm_.get();
    const std::size_t pending = host_.pendingBytes();
    reportHeard();
    if (pending == 0) {
        // A sound shorter than the start threshold has to be started by hand.
        if (snd_pcm_state(pcm) == SND_PCM_STATE_PREPARED &&
            snd_pcm_avail_update(pcm) < static_cast<snd_pcm_sframes_t>(geometry_.buffer)) {
            snd_pcm_start(pcm);
        }
        starved_ = true;
        // Until the device has played what it holds, its blocks wait for it.
        if (heardFrames_ < writtenFrames_) {
            waitToBeHeard();
        } else {
            waitForData();
        }
        return;
    }
    // Frames written already (replayed after a pause) keep the period they had.
    if (!fitted_ && writtenFrames_ == 0 &&
        (!configured_ || snd_pcm_state(pcm) == SND_PCM_STATE_PREPARED) &&
        !fitTo(host_.headBytes(), pending)) {
        lose();
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
        waitForDevice(frames);
        return;
    }
    const std::span<std::byte> out = std::span(period_).first(frames * frameSize_);
    const std::size_t bytes = host_.playHeld(out);
    if (bytes == 0) return;
    applyVolume(out.first(bytes), format_, volume_->gain());
    writeAll(out.first(bytes));
    starved_ = false;
}

void AlsaStream::playOut() {
    snd_pcm_t* pcm = pcm_.get();
    if (snd_pcm_state(pcm) == SND_PCM_STATE_PREPARED) snd_pcm_start(pcm);
    const auto bufferTime =
        std::chrono::microseconds(geometry_.buffer * 1'000'000 / format_.nSamplesPerSec);
    const auto deadline = std::chrono::steady_clock::now() + bufferTime + bufferTime / 4;
    snd_pcm_sframes_t delay = 0;
    // Asked again after each wait: a device only shows what it played when asked.
    while (snd_pcm_state(pcm) == SND_PCM_STATE_RUNNING && snd_pcm_delay(pcm, &delay) == 0 &&
           delay > 0 && std::chrono::steady_clock::now() < deadline) {
        const auto frames = std::clamp<snd_pcm_sframes_t>(delay, 1, geometry_.buffer);
        std::this_thread::sleep_for(
            std::chrono::microseconds(frames * 1'000'000 / format_.nSamplesPerSec));
    }
}

void AlsaStream::writeAll(std::span<const std::byte> frames) {
    const std::size_t count = frames.size() / frameSize_;
    std::size_t done = 0;
    while (done < count) {
        const snd_pcm_sframes_t written =
            snd_pcm_writei(pcm_.get(), frames.data() + done * frameSize_, count - done);
        if (written == -EAGAIN || written == 0) {
            // Frames cut off by a stop or reset were not going to play anyway.
            if (!waitForDevice(count - done) && requestPending()) return;
        } else if (written < 0) {
            if (!recover(written)) return;
        } else {
            recent_.add(
                frames.subspan(done * frameSize_, static_cast<std::size_t>(written) * frameSize_));
            done += static_cast<std::size_t>(written);
            writtenFrames_ += static_cast<std::uint64_t>(written);
            expectPlayedOut();
        }
    }
}

void AlsaStream::reportAllHeard() {
    if (writtenFrames_ == heardFrames_) return;
    host_.heard(static_cast<std::size_t>(writtenFrames_ - heardFrames_) * frameSize_);
    heardFrames_ = writtenFrames_;
}

void AlsaStream::expectPlayedOut() {
    const auto timeOf = [this](std::uint64_t frames) {
        return std::chrono::microseconds(frames * 1'000'000 / format_.nSamplesPerSec);
    };
    const std::uint64_t held = writtenFrames_ - heardFrames_;
    dryFrom_ = Clock::now() + timeOf(held);
    playedOutBy_ = dryFrom_ + timeOf(geometry_.buffer + 2 * geometry_.period);
}

void AlsaStream::reportHeard() {
    if (heardFrames_ == writtenFrames_) return;
    snd_pcm_sframes_t delay = 0;
    const int e = snd_pcm_delay(pcm_.get(), &delay);
    std::uint64_t played = heardFrames_;
    if (e == -EPIPE || snd_pcm_state(pcm_.get()) == SND_PCM_STATE_XRUN) {
        // Ran dry: it played all it had (some plugins report a stale delay
        // then), unless that was well before its time: an xrun, which throws
        // away what it still held.
        const auto early = dryFrom_ - Clock::now();
        const auto period = std::chrono::microseconds(geometry_.period * 1'000'000 / format_.nSamplesPerSec);
        if (early > period) {
            faults::countXrun();
            host_.gap(wave::StreamHost::Gap::device,
                      static_cast<std::size_t>(std::chrono::duration<double>(early).count() *
                                               format_.nSamplesPerSec));
            if (snd_pcm_prepare(pcm_.get()) < 0) {
                lose();
                return;
            }
        }
        played = writtenFrames_;
    } else if (e == 0) {
        const auto held = std::clamp<snd_pcm_sframes_t>(
            delay, 0, static_cast<snd_pcm_sframes_t>(writtenFrames_ - heardFrames_));
        played = writtenFrames_ - static_cast<std::uint64_t>(held);
        // Some plug-ins (PulseAudio's) stop updating their delay once the
        // server ran dry: past the time the frames take to play, they have.
        if (held > 0 && Clock::now() >= playedOutBy_) played = writtenFrames_;
    } else {
        // Suspended or gone: what it held will not play. A device that is
        // gone returns every block through lose().
        if (!recover(e)) return;
        played = writtenFrames_;
    }
    if (played == heardFrames_) return;
    host_.heard(static_cast<std::size_t>(played - heardFrames_) * frameSize_);
    heardFrames_ = played;
}

bool AlsaStream::recover(long error) {
    snd_pcm_t* pcm = pcm_.get();
    int e = static_cast<int>(error);
    if (e == -EINTR) return true;
    if (e == -EPIPE) {
        // Without a buffer to fill or a block to play, the application was late.
        if (!starved_) faults::countXrun();
        host_.gap(starved_ ? wave::StreamHost::Gap::late : wave::StreamHost::Gap::device,
                  framesSinceDry());
        captureClock_.restart();
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
    host_.deviceLost();
}

void AlsaStream::waitForData() {
    // An application that hands its buffers straight back (a free-running
    // device) answers within microseconds: worth watching for before sleeping.
    const std::uint64_t seen = headersQueued_.load(std::memory_order_acquire);
    if (dataSpin_.awaits([&] { return headersQueued_.load(std::memory_order_acquire) != seen; })) {
        return;
    }
    waitingForData_.store(true);
    // The core queues a header under its lock and only then calls
    // dataQueued; looking at the queue (under that lock) after raising the
    // flag finds every header queued before the flag was seen.
    if (host_.pendingBytes() == 0) {
        const posix::BriefSpin::Clock::time_point asleep = posix::BriefSpin::Clock::now();
        waitForRequest();
        dataSpin_.slept(posix::BriefSpin::Clock::now() - asleep);
    }
    waitingForData_.store(false);
}

void AlsaStream::waitToBeHeard() {
    const std::uint64_t held = writtenFrames_ - heardFrames_;
    // Enough to play on: a block queued meanwhile waits for the next look,
    // which saves the thread a second wake-up per block.
    const bool runningShort = held <= 2 * std::uint64_t{geometry_.period};
    if (runningShort) waitingForData_.store(true);
    // A device's poll is ready while it has room, long before it has played
    // what it holds, so the thread sleeps for the time one more period (or
    // what is left) takes to play, and then asks the device again.
    if (!runningShort || host_.pendingBytes() == 0) {
        sleepFor(std::min<std::uint64_t>(held, geometry_.period));
    }
    waitingForData_.store(false);
}

bool AlsaStream::sleepFor(std::uint64_t frames) {
    const auto ns = static_cast<long long>(frames * 1'000'000'000ULL / format_.nSamplesPerSec);
    const timespec timeout{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
    pollfd& wakeup = pollFds_.back();
    wakeup.revents = 0;
    if (ppoll(&wakeup, 1, &timeout, nullptr) > 0 && wakeup.revents != 0) {
        wakeup_.clear();
        return false;
    }
    return true;
}

void AlsaStream::waitForRequest() {
    poll(&pollFds_.back(), 1, -1);
    wakeup_.clear();
}

bool AlsaStream::waitForDevice(snd_pcm_uframes_t frames) {
    // A descriptor left readable from the last wake-up is cleared by asking
    // what it meant; one still readable after that with nothing to report
    // belongs to a plug-in (the sound servers') that keeps it so until the
    // device has moved a period: polling it again would return at once, so
    // the thread sleeps for the frames still missing instead.
    for (int polls = 0; polls < 2; ++polls) {
        for (auto& fd : pollFds_) fd.revents = 0;
        const int ready = poll(pollFds_.data(), pollFds_.size(), pollTimeoutMs(geometry_, format_));
        if (pollFds_.back().revents != 0) {
            wakeup_.clear();
            return false;
        }
        if (ready <= 0) return true;
        unsigned short events = 0;
        if (snd_pcm_poll_descriptors_revents(pcm_.get(), pollFds_.data(), pollFds_.size() - 1,
                                             &events) < 0 ||
            events != 0) {
            return true;
        }
    }
    const snd_pcm_sframes_t avail = snd_pcm_avail_update(pcm_.get());
    if (avail < 0 || static_cast<snd_pcm_uframes_t>(avail) >= frames) return true;
    return sleepFor(frames - static_cast<snd_pcm_uframes_t>(avail));
}

}  // namespace sorvan::alsa
