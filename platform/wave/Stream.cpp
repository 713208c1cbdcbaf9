#include "platform/wave/Stream.h"

#include <algorithm>
#include <cstring>

#include "platform/posix/ThreadQueue.h"
#include "platform/wave/HeaderRules.h"

namespace sorvan::wave {

namespace {

constexpr DWORD queuedFlags = WHDR_INQUEUE;

std::size_t frameSizeOf(const WAVEFORMATEX& format) {
    return std::max<std::size_t>(format.nBlockAlign, 1);
}

}  // namespace

Stream::Stream(Direction direction, std::size_t device, bool mapped, const WAVEFORMATEX& format,
               Notifier notifier, std::shared_ptr<Driver> driver)
    : direction_(direction),
      device_(device),
      mapped_(mapped),
      format_(format),
      frameSize_(frameSizeOf(format)),
      notifier_(notifier),
      driver_(std::move(driver)) {}

Stream::~Stream() = default;

MMRESULT Stream::open(UINT_PTR handle) {
    std::lock_guard control(control_);
    const MMRESULT result =
        mapped_ ? driver_->openDefault(direction_, device_, format_, *this, driverStream_)
                : driver_->open(direction_, device_, format_, *this, driverStream_);
    if (result != MMSYSERR_NOERROR) return result;
    if (driverStream_ == nullptr) return MMSYSERR_ERROR;
    std::lock_guard data(data_);
    handle_ = handle;
    open_ = true;
    notifier_.notify(handle_, direction_ == Direction::input ? MM_WIM_OPEN : MM_WOM_OPEN, 0);
    return MMSYSERR_NOERROR;
}

UINT Stream::doneMessage() const {
    return direction_ == Direction::input ? MM_WIM_DATA : MM_WOM_DONE;
}

MMRESULT Stream::prepare(WAVEHDR& header) {
    std::lock_guard control(control_);
    std::lock_guard data(data_);
    if (const auto verdict = headerVerdict(HeaderCall::prepare, header, open_)) return *verdict;
    if (lost_) return MMSYSERR_NODRIVER;
    header.dwFlags = (header.dwFlags | WHDR_PREPARED) & ~(WHDR_DONE | WHDR_INQUEUE);
    return MMSYSERR_NOERROR;
}

MMRESULT Stream::unprepare(WAVEHDR& header) {
    std::lock_guard control(control_);
    std::lock_guard data(data_);
    if (const auto verdict = headerVerdict(HeaderCall::unprepare, header, open_)) return *verdict;
    header.dwFlags &= ~WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

void Stream::append(WAVEHDR& header) {
    header.dwFlags = (header.dwFlags & ~WHDR_DONE) | queuedFlags;
    header.lpNext = nullptr;
    if (tail_ == nullptr) {
        head_ = &header;
    } else {
        tail_->lpNext = &header;
    }
    tail_ = &header;
}

MMRESULT Stream::addBuffer(WAVEHDR& header) {
    std::lock_guard control(control_);
    {
        std::lock_guard data(data_);
        if (const auto verdict = headerVerdict(HeaderCall::addBuffer, header, open_)) {
            return *verdict;
        }
        // A buffer with room but nowhere to put the frames would be written through null.
        if (header.lpData == nullptr && header.dwBufferLength != 0) return MMSYSERR_INVALPARAM;
        if (lost_) return MMSYSERR_NODRIVER;
        header.dwBytesRecorded = 0;
        append(header);
        if (running_) retireFinishedHeads();
    }
    driverStream_->dataQueued();
    return MMSYSERR_NOERROR;
}

MMRESULT Stream::write(WAVEHDR& header) {
    std::lock_guard control(control_);
    bool startNow = false;
    {
        std::lock_guard data(data_);
        if (const auto verdict = headerVerdict(HeaderCall::write, header, open_)) return *verdict;
        if (lost_) return MMSYSERR_NODRIVER;
        startNow = !running_ && !paused_;
        if (startNow) listening_ = true;
    }
    if (startNow) {
        if (const MMRESULT result = driverStream_->start(); result != MMSYSERR_NOERROR) {
            return result;
        }
    }
    {
        std::lock_guard data(data_);
        // Lost while the driver started: nothing would ever return the block.
        if (lost_) return MMSYSERR_NODRIVER;
        append(header);
        if (startNow) running_ = true;
        if (running_) retireFinishedHeads();
    }
    driverStream_->dataQueued();
    return MMSYSERR_NOERROR;
}

MMRESULT Stream::startDriver(Resumption resumption) {
    {
        std::lock_guard data(data_);
        listening_ = true;
    }
    DriverStream& driver = *driverStream_;
    const MMRESULT result = resumption == Resumption::afterPause ? driver.resume() : driver.start();
    if (result != MMSYSERR_NOERROR) return result;
    {
        std::lock_guard data(data_);
        if (lost_) return MMSYSERR_NODRIVER;
        running_ = true;
        retireFinishedHeads();
    }
    driver.dataQueued();
    return MMSYSERR_NOERROR;
}

MMRESULT Stream::start() {
    std::lock_guard control(control_);
    {
        std::lock_guard data(data_);
        if (!open_) return MMSYSERR_INVALHANDLE;
        if (lost_) return MMSYSERR_NODRIVER;
        if (running_) return MMSYSERR_NOERROR;
    }
    return startDriver(Resumption::fresh);
}

MMRESULT Stream::stop() {
    std::lock_guard control(control_);
    {
        std::unique_lock data(data_);
        if (!open_) return MMSYSERR_INVALHANDLE;
        if (!running_) return MMSYSERR_NOERROR;
        waitForLendToEnd(data);
        running_ = false;
        endUnmoved();
        if (head_ != nullptr && head_->dwBytesRecorded > 0) retireHead();
    }
    driverStream_->stop();
    return MMSYSERR_NOERROR;
}

MMRESULT Stream::reset() {
    std::lock_guard control(control_);
    bool driverMoving = false;
    {
        std::unique_lock data(data_);
        if (!open_) return MMSYSERR_INVALHANDLE;
        waitForLendToEnd(data);
        driverMoving = running_ || driverPaused_;
        running_ = false;
        paused_ = false;
        endUnmoved();
        retireAll();
    }
    // A paused driver still holds frames, which a reset throws away.
    driverPaused_ = false;
    if (driverMoving) driverStream_->stop();
    return MMSYSERR_NOERROR;
}

MMRESULT Stream::pause() {
    std::lock_guard control(control_);
    bool wasRunning = false;
    {
        std::lock_guard data(data_);
        if (!open_) return MMSYSERR_INVALHANDLE;
        if (lost_) return MMSYSERR_NODRIVER;
        if (paused_) return MMSYSERR_NOERROR;
        paused_ = true;
        wasRunning = running_;
        running_ = false;
        endUnmoved();
    }
    if (wasRunning) driverPaused_ = driverStream_->pause() == MMSYSERR_NOERROR;
    return MMSYSERR_NOERROR;
}

MMRESULT Stream::restart() {
    std::lock_guard control(control_);
    {
        std::lock_guard data(data_);
        if (!open_) return MMSYSERR_INVALHANDLE;
        if (lost_) return MMSYSERR_NODRIVER;
        if (!paused_) return MMSYSERR_NOERROR;
        paused_ = false;
        // A driver that could not pause threw away what it held.
        if (!driverPaused_) retireHeld();
        // Without a paused driver there is nothing to play until a write.
        if (!driverPaused_ && head_ == nullptr) return MMSYSERR_NOERROR;
    }
    const Resumption resumption = driverPaused_ ? Resumption::afterPause : Resumption::fresh;
    driverPaused_ = false;
    return startDriver(resumption);
}

MMRESULT Stream::close() {
    std::lock_guard control(control_);
    {
        std::lock_guard data(data_);
        if (!open_) return MMSYSERR_INVALHANDLE;
        if (head_ != nullptr || heldHead_ != nullptr) return WAVERR_STILLPLAYING;
        open_ = false;
        running_ = false;
    }
    // Waits for the driver's threads; none of them can reach the queue now.
    driverStream_.reset();
    std::lock_guard data(data_);
    notifier_.notify(handle_, direction_ == Direction::input ? MM_WIM_CLOSE : MM_WOM_CLOSE, 0);
    return MMSYSERR_NOERROR;
}

std::optional<MMRESULT> Stream::getVolume(DWORD& volume) {
    std::lock_guard control(control_);
    {
        std::lock_guard data(data_);
        if (!open_) return MMSYSERR_INVALHANDLE;
    }
    return driverStream_->getVolume(volume);
}

std::optional<MMRESULT> Stream::setVolume(DWORD volume) {
    std::lock_guard control(control_);
    {
        std::lock_guard data(data_);
        if (!open_) return MMSYSERR_INVALHANDLE;
    }
    return driverStream_->setVolume(volume);
}

bool Stream::isLost() {
    std::lock_guard data(data_);
    return lost_;
}

void Stream::endUnmoved() {
    // Input thrown away before a stop was sound the application wanted;
    // silence after the last block played is just the end.
    if (direction_ == Direction::input && framesMoved_ && unmovedFrames_ > 0) {
        ++gaps_.lateGaps;
        gaps_.lateFrames += unmovedFrames_;
    }
    framesMoved_ = false;
    unmovedFrames_ = 0;
}

WaveGaps Stream::gaps() {
    std::lock_guard data(data_);
    return gaps_;
}

void Stream::gap(Gap cause, std::size_t frames) {
    std::lock_guard data(data_);
    if (cause == Gap::device) {
        ++gaps_.deviceGaps;
        gaps_.deviceFrames += frames;
    } else {
        ++gaps_.lateGaps;
        gaps_.lateFrames += frames;
    }
}

void Stream::deviceLost() {
    const posix::DeferredWakes wakeOwnerAfterUnlocking;
    std::lock_guard data(data_);
    lost_ = true;
    running_ = false;
    retireAll();
}

namespace {

// Takes the first header off a singly linked queue.
WAVEHDR* unlinkFirst(WAVEHDR*& head, WAVEHDR*& tail) {
    WAVEHDR* header = head;
    head = header->lpNext;
    if (head == nullptr) tail = nullptr;
    header->lpNext = nullptr;
    return header;
}

}  // namespace

void Stream::giveBack(WAVEHDR& header) {
    header.dwFlags = (header.dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
    notifier_.notify(handle_, doneMessage(), reinterpret_cast<DWORD_PTR>(&header));
}

void Stream::retireHead() {
    WAVEHDR* header = unlinkFirst(head_, tail_);
    headPlayed_ = 0;
    giveBack(*header);
}

void Stream::retireAll() {
    retireHeld();
    while (head_ != nullptr) retireHead();
}

void Stream::retireHeld() {
    listening_ = false;
    heldHeard_ = 0;
    while (heldHead_ != nullptr) giveBack(*unlinkFirst(heldHead_, heldTail_));
}

void Stream::finishHead() {
    if (!holding_) {
        retireHead();
        return;
    }
    WAVEHDR* header = unlinkFirst(head_, tail_);
    headPlayed_ = 0;
    if (heldTail_ == nullptr) {
        heldHead_ = header;
    } else {
        heldTail_->lpNext = header;
    }
    heldTail_ = header;
    retireHeard();
}

void Stream::retireHeard() {
    while (heldHead_ != nullptr && heldHeard_ >= playable(*heldHead_)) {
        heldHeard_ -= playable(*heldHead_);
        giveBack(*unlinkFirst(heldHead_, heldTail_));
    }
}

void Stream::retireFinishedHeads() {
    if (direction_ == Direction::input) {
        while (head_ != nullptr && head_->dwBufferLength - head_->dwBytesRecorded < frameSize_) {
            retireHead();
        }
    } else {
        while (head_ != nullptr && playable(*head_) == 0) finishHead();
    }
}

void Stream::waitForLendToEnd(std::unique_lock<std::mutex>& data) {
    lendEnded_.wait(data, [this] { return !lent_; });
}

std::span<std::byte> Stream::captureSpace() {
    std::lock_guard data(data_);
    if (!running_ || head_ == nullptr || lent_) return {};
    WAVEHDR& head = *head_;
    const std::size_t room = wholeFrames(head.dwBufferLength - head.dwBytesRecorded);
    if (room == 0) return {};
    lent_ = true;
    return {reinterpret_cast<std::byte*>(head.lpData) + head.dwBytesRecorded, room};
}

std::size_t Stream::captured(std::size_t bytes) {
    const posix::DeferredWakes wakeOwnerAfterUnlocking;
    std::lock_guard data(data_);
    if (!lent_) return 0;
    // Stop and reset waited for this, so the stream still runs with the same head.
    lent_ = false;
    lendEnded_.notify_all();
    WAVEHDR& head = *head_;
    const std::size_t kept =
        std::min(wholeFrames(bytes), wholeFrames(head.dwBufferLength - head.dwBytesRecorded));
    head.dwBytesRecorded += static_cast<DWORD>(kept);
    retireFinishedHeads();
    return kept;
}

std::size_t Stream::capture(std::span<const std::byte> frames) {
    const std::size_t bytes = wholeFrames(frames.size());
    std::size_t taken = 0;
    while (taken < bytes) {
        const std::span<std::byte> space = captureSpace();
        if (space.empty()) break;
        const std::size_t count = std::min(space.size(), bytes - taken);
        std::memcpy(space.data(), frames.data() + taken, count);
        taken += captured(count);
    }
    std::lock_guard data(data_);
    if (running_) countUnmoved(taken, bytes - taken);
    return taken;
}

void Stream::countUnmoved(std::size_t moved, std::size_t unmoved) {
    // Before the first frames and after the last there is no gap, only
    // between frames that moved: it shows once frames move again.
    if (moved > 0) framesMoved_ = true;
    if (!framesMoved_) return;
    if (moved > 0 && unmovedFrames_ > 0) {
        ++gaps_.lateGaps;
        gaps_.lateFrames += unmovedFrames_;
        unmovedFrames_ = 0;
    }
    unmovedFrames_ += unmoved / frameSize_;
}

std::size_t Stream::play(std::span<std::byte> out) {
    const posix::DeferredWakes wakeOwnerAfterUnlocking;
    std::lock_guard data(data_);
    if (!running_) return 0;
    const std::size_t bytes = wholeFrames(out.size());
    std::size_t written = 0;
    while (written < bytes && head_ != nullptr) {
        WAVEHDR& head = *head_;
        const std::size_t count = std::min(playable(head) - headPlayed_, bytes - written);
        std::memcpy(out.data() + written, head.lpData + headPlayed_, count);
        headPlayed_ += count;
        written += count;
        if (headPlayed_ == playable(head)) finishHead();
        retireFinishedHeads();
    }
    if (running_) countUnmoved(written, bytes - written);
    return written;
}

std::size_t Stream::playHeld(std::span<std::byte> out) {
    {
        std::lock_guard data(data_);
        holding_ = true;
    }
    return play(out);
}

void Stream::heard(std::size_t bytes) {
    const posix::DeferredWakes wakeOwnerAfterUnlocking;
    std::lock_guard data(data_);
    // A stopped driver's last report is stale: reset returned every block.
    if (!listening_) return;
    // What was heard of the block still being taken counts once it is held.
    heldHeard_ += bytes;
    retireHeard();
}

std::size_t Stream::pendingBytes() {
    std::lock_guard data(data_);
    if (!running_) return 0;
    std::size_t pending = 0;
    for (const WAVEHDR* header = head_; header != nullptr; header = header->lpNext) {
        if (direction_ == Direction::input) {
            pending += wholeFrames(header->dwBufferLength - header->dwBytesRecorded);
        } else {
            pending += playable(*header) - (header == head_ ? headPlayed_ : 0);
        }
    }
    return pending;
}

std::size_t Stream::headBytes() {
    std::lock_guard data(data_);
    return head_ == nullptr ? 0 : head_->dwBufferLength;
}

}  // namespace sorvan::wave
