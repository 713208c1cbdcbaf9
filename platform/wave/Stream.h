// One open wave device as the core sees it: the header queue, the
// running/stopped state and the notifications of one handle.
//
// Two locks: `control_` serialises the API calls on the stream and is held
// while the driver is told to start or stop; `data_` guards the queue and is
// taken by the driver's threads through capture/play. The core never calls
// the driver while holding `data_`, so a driver may wait for its threads.
// Every notification is posted under `data_`, which keeps one handle's
// notifications in order and lets nothing follow the close notification.
// The driver's threads wake a sleeping owner only once they have let go of
// `data_` (posix::DeferredWakes), as the owner's answer usually needs it.
// While the driver writes into the head buffer (captureSpace to captured),
// stop and reset wait on `lendEnded_` before they return any buffer.
//
// Every header flag is read and written under `data_`: a call that finds a
// header no longer queued has thereby seen everything the driver's thread
// did with it, so the application may free it at once.
//
// A stream whose device is gone is "lost": its headers came back when the
// loss was found, it refuses to move frames again (MMSYSERR_NODRIVER), and
// stop, reset, unprepare and close succeed, so that the owner can clean up
// as after any stop.
//
// Output blocks play as whole frames: the bytes after a block's last whole
// frame are not played, so every block starts on a frame boundary however
// the blocks and the device's reads happen to meet.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>

#include "platform/wave/Driver.h"
#include "platform/wave/Notifier.h"

namespace sorvan::wave {

class Stream final : public StreamHost {
  public:
    // `mapped`: opened through WAVE_MAPPER, `device` being the default then.
    Stream(Direction direction, std::size_t device, bool mapped, const WAVEFORMATEX& format,
           Notifier notifier, std::shared_ptr<Driver> driver);
    ~Stream();
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;

    // Opens the device; on success the stream is ready for `handle` and the
    // open notification is posted.
    MMRESULT open(UINT_PTR handle);

    Direction direction() const { return direction_; }
    std::size_t device() const { return device_; }
    const std::shared_ptr<Driver>& driver() const { return driver_; }

    // The API calls; each returns INVALHANDLE once the stream is closed. The
    // header calls check the header's flags first (see HeaderRules.h).
    MMRESULT prepare(WAVEHDR& header);
    MMRESULT unprepare(WAVEHDR& header);
    MMRESULT addBuffer(WAVEHDR& header);
    MMRESULT write(WAVEHDR& header);
    MMRESULT start();
    MMRESULT stop();
    MMRESULT reset();
    MMRESULT pause();
    MMRESULT restart();
    MMRESULT close();
    // Whether the device under the stream is gone.
    bool isLost();
    // The stream's own volume, where the driver keeps one (see DriverStream).
    std::optional<MMRESULT> getVolume(DWORD& volume);
    std::optional<MMRESULT> setVolume(DWORD volume);
    WaveGaps gaps();

    // StreamHost
    std::span<std::byte> captureSpace() override;
    std::size_t captured(std::size_t bytes) override;
    std::size_t capture(std::span<const std::byte> frames) override;
    std::size_t play(std::span<std::byte> out) override;
    std::size_t playHeld(std::span<std::byte> out) override;
    void heard(std::size_t bytes) override;
    std::size_t pendingBytes() override;
    std::size_t headBytes() override;
    void gap(Gap cause, std::size_t frames) override;
    void deviceLost() override;

  private:
    void append(WAVEHDR& header);
    // Takes the head off the queue, marks it done and notifies.
    void retireHead();
    // Marks a header taken off its queue done and posts its notification.
    void giveBack(WAVEHDR& header);
    void retireAll();
    // Output: the head block was taken whole; it is returned now, or held
    // until heard when the driver plays through playHeld.
    void finishHead();
    void retireHeard();
    // Output: returns every held block (reset, close, or a restart after the
    // device threw their frames away).
    void retireHeld();
    // Input: returns head buffers without room for one more frame.
    // Output: returns zero-length blocks that reached the head.
    void retireFinishedHeads();
    void waitForLendToEnd(std::unique_lock<std::mutex>& data);
    // Callers hold data_.
    void countUnmoved(std::size_t moved, std::size_t unmoved);
    void endUnmoved();
    std::size_t wholeFrames(std::size_t bytes) const { return bytes - bytes % frameSize_; }
    // Output: the bytes of a block that play.
    std::size_t playable(const WAVEHDR& block) const { return wholeFrames(block.dwBufferLength); }
    enum class Resumption { fresh, afterPause };
    MMRESULT startDriver(Resumption resumption);
    UINT doneMessage() const;

    const Direction direction_;
    const std::size_t device_;
    const bool mapped_;
    const WAVEFORMATEX format_;
    const std::size_t frameSize_;
    const Notifier notifier_;
    const std::shared_ptr<Driver> driver_;
    std::unique_ptr<DriverStream> driverStream_;
    UINT_PTR handle_ = 0;

    std::mutex control_;
    std::mutex data_;
    std::condition_variable lendEnded_;
    bool lent_ = false;  // input: the driver is writing into the head buffer
    bool open_ = false;
    bool running_ = false;  // frames move: input started, output playing
    bool paused_ = false;   // output only
    // Output: the driver was paused while playing, and holds frames to resume.
    bool driverPaused_ = false;
    bool lost_ = false;
    // The queue, linked through WAVEHDR::lpNext as the system's drivers do,
    // so queueing never allocates.
    WAVEHDR* head_ = nullptr;
    WAVEHDR* tail_ = nullptr;
    std::size_t headPlayed_ = 0;  // output: bytes of the head block already played
    // Output, for a driver that plays through playHeld: the blocks taken
    // whole and not yet heard to their end, in order (linked through
    // lpNext, still INQUEUE), and how much of them was heard.
    bool holding_ = false;
    bool listening_ = false;  // heard() counts: from a start until a reset
    WAVEHDR* heldHead_ = nullptr;
    WAVEHDR* heldTail_ = nullptr;
    std::size_t heldHeard_ = 0;
    WaveGaps gaps_;
    // Frames thrown away (input) or silence given (output) since frames last
    // moved while running, for a driver that moves them as the clock goes
    // through capture() and play(): one gap once frames move again.
    std::size_t unmovedFrames_ = 0;
    bool framesMoved_ = false;  // since the start
};

}  // namespace sorvan::wave
