#include "platform/wave/Stream.h"

#include <algorithm>
#include <cstring>

namespace sorvan::wave {

namespace {

constexpr DWORD queuedFlags = WHDR_INQUEUE;

std::size_t frameSizeOf(const WAVEFORMATEX& format) {
    return std::max<std::size_t>(format.nBlockAlign, 1);
}

}  // namespace

Stream::Stream(Direction direction, std::size_t device, const WAVEFORMATEX& format,
               Notifier notifier, std::shared_ptr<Driver> driver)
    : direction_(direction),
      device_(device),
      format_(format),
      frameSize_(frameSizeOf(format)),
      notifier_(notifier),
      driver_(std::move(driver)) {}

Stream::~Stream() = default;

MMRESULT Stream::open(UINT_PTR handle) {
    std::lock_guard control(control_);
    const MMRESULT result = driver_->open(direction_, device_, format_, *this, driverStream_);
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
    if (!open_) return MMSYSERR_INVALHANDLE;
    std::lock_guard data(data_);
    if (header.dwFlags & WHDR_PREPARED) return MMSYSERR_NOERROR;
    header.dwFlags = (header.dwFlags | WHDR_PREPARED) & ~(WHDR_DONE | WHDR_INQUEUE);
    return MMSYSERR_NOERROR;
}

MMRESULT Stream::unprepare(WAVEHDR& header) {
    std::lock_guard control(control_);
    if (!open_) return MMSYSERR_INVALHANDLE;
    std::lock_guard data(data_);
    if (header.dwFlags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
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
    if (!open_) return MMSYSERR_INVALHANDLE;
    // A buffer with room but nowhere to put the frames would be written through null.
    if (header.lpData == nullptr && header.dwBufferLength != 0) return MMSYSERR_INVALPARAM;
    {
        std::lock_guard data(data_);
        if (header.dwFlags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
        header.dwBytesRecorded = 0;
        append(header);
        if (running_) retireFinishedHeads();
    }
    driverStream_->dataQueued();
    return MMSYSERR_NOERROR;
}

MMRESULT Stream::write(WAVEHDR& header) {
    std::lock_guard control(control_);
    if (!open_) return MMSYSERR_INVALHANDLE;
    bool startNow = false;
    {
        std::lock_guard data(data_);
        if (header.dwFlags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
        startNow = !running_ && !paused_;
    }
    if (startNow) {
        if (const MMRESULT result = driverStream_->start(); result != MMSYSERR_NOERROR) {
            return result;
        }
    }
    {
        std::lock_guard data(data_);
        if (startNow) retireHeld();
        append(header);
        if (startNow) running_ = true;
        if (running_) retireFinishedHeads();
    }
    driverStream_->dataQueued();
    return MMSYSERR_NOERROR;
}

MMRESULT Stream::startDriver() {
    if (const MMRESULT result = driverStream_->start(); result != MMSYSERR_NOERROR) return result;
    {
        std::lock_guard data(data_);
        // Blocks held over a pause: the stopped device threw their frames away.
        retireHeld();
        running_ = true;
        retireFinishedHeads();
    }
    driverStream_->dataQueued();
    return MMSYSERR_NOERROR;
}

MMRESULT Stream::start() {
    std::lock_guard control(control_);
    if (!open_) return MMSYSERR_INVALHANDLE;
    {
        std::lock_guard data(data_);
        if (running_) return MMSYSERR_NOERROR;
    }
    return startDriver();
}

MMRESULT Stream::stop() {
    std::lock_guard control(control_);
    if (!open_) return MMSYSERR_INVALHANDLE;
    {
        std::unique_lock data(data_);
        if (!running_) return MMSYSERR_NOERROR;
        waitForLendToEnd(data);
        running_ = false;
        if (head_ != nullptr && head_->dwBytesRecorded > 0) retireHead();
    }
    driverStream_->stop();
    return MMSYSERR_NOERROR;
}

MMRESULT Stream::reset() {
    std::lock_guard control(control_);
    if (!open_) return MMSYSERR_INVALHANDLE;
    bool wasRunning = false;
    {
        std::unique_lock data(data_);
        waitForLendToEnd(data);
        wasRunning = running_;
        running_ = false;
        paused_ = false;
        retireAll();
    }
    if (wasRunning) driverStream_->stop();
    return MMSYSERR_NOERROR;
}

MMRESULT Stream::pause() {
    std::lock_guard control(control_);
    if (!open_) return MMSYSERR_INVALHANDLE;
    bool wasRunning = false;
    {
        std::lock_guard data(data_);
        if (paused_) return MMSYSERR_NOERROR;
        paused_ = true;
        wasRunning = running_;
        running_ = false;
    }
    if (wasRunning) driverStream_->stop();
    return MMSYSERR_NOERROR;
}

MMRESULT Stream::restart() {
    std::lock_guard control(control_);
    if (!open_) return MMSYSERR_INVALHANDLE;
    {
        std::lock_guard data(data_);
        if (!paused_) return MMSYSERR_NOERROR;
        paused_ = false;
        if (head_ == nullptr) return MMSYSERR_NOERROR;
    }
    return startDriver();
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

void Stream::retireHead() {
    WAVEHDR* header = head_;
    head_ = header->lpNext;
    if (head_ == nullptr) tail_ = nullptr;
    header->lpNext = nullptr;
    header->dwFlags = (header->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
    headPlayed_ = 0;
    notifier_.notify(handle_, doneMessage(), reinterpret_cast<DWORD_PTR>(header));
}

void Stream::retireAll() {
    retireHeld();
    while (head_ != nullptr) retireHead();
}

void Stream::retireHeld() {
    heldHeard_ = 0;
    while (heldHead_ != nullptr) {
        WAVEHDR* header = heldHead_;
        heldHead_ = header->lpNext;
        header->lpNext = nullptr;
        header->dwFlags = (header->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
        notifier_.notify(handle_, doneMessage(), reinterpret_cast<DWORD_PTR>(header));
    }
    heldTail_ = nullptr;
}

void Stream::finishHead() {
    if (!holding_) {
        retireHead();
        return;
    }
    WAVEHDR* header = head_;
    head_ = header->lpNext;
    if (head_ == nullptr) tail_ = nullptr;
    header->lpNext = nullptr;
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
    while (heldHead_ != nullptr && heldHeard_ >= heldHead_->dwBufferLength) {
        WAVEHDR* header = heldHead_;
        heldHeard_ -= header->dwBufferLength;
        heldHead_ = header->lpNext;
        if (heldHead_ == nullptr) heldTail_ = nullptr;
        header->lpNext = nullptr;
        header->dwFlags = (header->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
        notifier_.notify(handle_, doneMessage(), reinterpret_cast<DWORD_PTR>(header));
    }
}

void Stream::retireFinishedHeads() {
    if (direction_ == Direction::input) {
        while (head_ != nullptr && head_->dwBufferLength - head_->dwBytesRecorded < frameSize_) {
            retireHead();
        }
    } else {
        while (head_ != nullptr && head_->dwBufferLength == 0) finishHead();
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
    return taken;
}

std::size_t Stream::play(std::span<std::byte> out) {
    std::lock_guard data(data_);
    if (!running_) return 0;
    const std::size_t bytes = wholeFrames(out.size());
    std::size_t written = 0;
    while (written < bytes && head_ != nullptr) {
        WAVEHDR& head = *head_;
        const std::size_t count = std::min(head.dwBufferLength - headPlayed_, bytes - written);
        std::memcpy(out.data() + written, head.lpData + headPlayed_, count);
        headPlayed_ += count;
        written += count;
        if (headPlayed_ == head.dwBufferLength) finishHead();
        retireFinishedHeads();
    }
    // Blocks that end inside a frame: the frame is completed with zeros.
    const std::size_t padded = std::min(bytes, wholeFrames(written + frameSize_ - 1));
    std::fill(out.begin() + written, out.begin() + padded, std::byte{0});
    return padded;
}

std::size_t Stream::playHeld(std::span<std::byte> out) {
    {
        std::lock_guard data(data_);
        holding_ = true;
    }
    return play(out);
}

void Stream::heard(std::size_t bytes) {
    std::lock_guard data(data_);
    // A stopped driver's last report is stale: reset returned every block.
    if (!running_) return;
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
            pending += header->dwBufferLength - (header == head_ ? headPlayed_ : 0);
        }
    }
    return direction_ == Direction::input ? pending : wholeFrames(pending + frameSize_ - 1);
}

std::size_t Stream::headBytes() {
    std::lock_guard data(data_);
    return head_ == nullptr ? 0 : head_->dwBufferLength;
}

}  // namespace sorvan::wave
