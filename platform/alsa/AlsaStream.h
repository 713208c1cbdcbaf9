// One open ALSA PCM and the thread that moves its frames.
//
// The thread owns the PCM: every ALSA call after the set-up is made there.
// start() and stop() hand it a request and wait until it has been carried
// out, which takes at most the time of one transfer (one period), since the
// thread only waits in poll() and is woken for every request, and for a
// queued header when it has none to work on. Closing a playback stream that
// ran out of blocks also waits for the device to play what it holds (see
// playOut).
//
// The period follows the size of the buffers or blocks the application
// queues (see fitPeriod), so that each comes back one period after the last.
// Capture reads straight into the head queued buffer, only as many frames
// as it can take, so a PCM without real-time pacing (a file, null) loses
// nothing; a sound card left without buffers overruns, and the stream
// recovers once buffers come.
// Playback asks the core for frames only when the device has room for them
// and writes them at once; a block's DONE goes out once the device has
// played its last frame, as its delay shows, so that OnDone means heard. A
// pause keeps what the device holds: the device pauses where it can, else
// the frames it had not played yet are written again on resume.
//
// A device that disappears is reported to the core (StreamHost::deviceLost),
// which returns the queued headers; the thread then only waits for requests.
#pragma once

#include <poll.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/alsa/CaptureClock.h"
#include "platform/alsa/Pcm.h"
#include "platform/alsa/RecentFrames.h"
#include "platform/alsa/Volume.h"
#include "platform/alsa/Wakeup.h"
#include "platform/posix/BriefSpin.h"

namespace sorvan::alsa {

class AlsaStream final : public wave::DriverStream {
  public:
    // `volume` is the output device's, null for input.
    AlsaStream(Pcm pcm, wave::Direction direction, const WAVEFORMATEX& format, Geometry geometry,
               wave::StreamHost& host, std::shared_ptr<OutputVolume> volume);
    ~AlsaStream() override;
    AlsaStream(const AlsaStream&) = delete;
    AlsaStream& operator=(const AlsaStream&) = delete;

    MMRESULT start() override;
    MMRESULT stop() override;
    MMRESULT pause() override;
    MMRESULT resume() override;
    void dataQueued() override;

  private:
    enum class Want { stopped, running, paused, quit };

    MMRESULT request(Want want);
    bool requestPending();
    void run();
    MMRESULT carryOut(Want want);
    MMRESULT begin();
    // Sizes the period to the application's headers, the first one queued
    // after a start, so that each ends at the end of a period (the header
    // itself, up to the usual 10 ms), and the buffer to hold what is queued
    // (at least four periods, at most two seconds); the device must not be
    // running. False when the device takes no set-up at all any more.
    bool fitTo(std::size_t headerBytes, std::size_t queuedBytes);
    void halt(Want want);
    void pausePlayback();
    void capture();
    void play();
    void writeAll(std::span<const std::byte> frames);
    // Tell the core how much more of what was written the device played
    // (as its delay shows), or that it will play none of the rest.
    void reportHeard();
    void reportAllHeard();
    // After a write: when the device will have played all it holds, and by
    // when it must have, even were the whole buffer and two periods more
    // still ahead of it.
    void expectPlayedOut();
    // Input, after a read: a position that moved off the clock lost or made up frames.
    void watchPosition();
    // Frames the device has had nothing to play (output) or no room for
    // (input) since it ran dry, as the clock tells.
    std::size_t framesSinceDry() const;
    // Waits until the frames the device holds have played, so that closing
    // after the last block's DONE does not cut the end of the sound. Takes
    // at most the buffer's length (four periods) and a little, and only on a
    // close that follows playback running out, never after a reset or pause.
    void playOut();
    // Recovers from an xrun or a suspend; false when the device is gone.
    bool recover(long error);
    void lose();
    void waitForRequest();
    // Waits for a request or a queued header, when there is nothing to fill
    // or play; only then does a queued header wake the thread.
    void waitForData();
    // Waits until the device can move `frames` (to read, or room to write)
    // or has something to report; false when woken by a request or a queued
    // header instead.
    bool waitForDevice(snd_pcm_uframes_t frames);
    // Output with no block to write: waits until the device has played one
    // more period, for a request, or for a queued header while the device is
    // about to run short.
    void waitToBeHeard();
    // Sleeps for the time `frames` take to play, unless a request or a
    // queued header comes first (then false).
    bool sleepFor(std::uint64_t frames);

    Pcm pcm_;
    const wave::Direction direction_;
    const WAVEFORMATEX format_;
    Geometry geometry_;
    const std::size_t frameSize_;
    wave::StreamHost& host_;
    const std::shared_ptr<OutputVolume> volume_;
    // The null PCM reports frames read but leaves the buffer as it was.
    const bool silentSource_;
    // Whether the device has its parameters: an open leaves them to the
    // first start, which knows the application's headers.
    bool configured_;
    std::vector<std::byte> period_;  // output: one period of frames on their way
    RecentFrames recent_;            // output: what the device may still hold
    std::vector<std::byte> replay_;  // output: frames a pause took back, to write first
    Wakeup wakeup_;                  // start, stop and queued headers
    std::vector<pollfd> pollFds_;    // the PCM's, then the wakeup's
    // Raised while the thread waits for a header; dataQueued signals only then.
    std::atomic<bool> waitingForData_{false};
    // Counts dataQueued calls, for the thread to watch while it spins.
    std::atomic<std::uint64_t> headersQueued_{0};
    posix::BriefSpin dataSpin_;

    std::mutex mutex_;
    std::condition_variable carriedOut_;
    Want want_ = Want::stopped;
    std::uint64_t requested_ = 0;
    std::uint64_t carried_ = 0;
    MMRESULT result_ = MMSYSERR_NOERROR;

    // The thread's own state.
    bool moving_ = false;          // started and not lost
    bool pausedInDevice_ = false;  // the PCM itself is paused, holding its frames
    bool lost_ = false;
    bool starved_ = false;  // the queue ran dry since frames last moved
    bool fitted_ = false;   // the period was fitted to the headers since the start
    std::uint64_t writtenFrames_ = 0;  // output, since the start: written to the device
    std::uint64_t heardFrames_ = 0;    // output, since the start: reported played
    using Clock = std::chrono::steady_clock;
    Clock::time_point playedOutBy_;    // output: see expectPlayedOut
    // Input: the last read; output: when what was written runs out.
    Clock::time_point dryFrom_;
    std::uint64_t capturedFrames_ = 0;  // input, since the start
    CaptureClock captureClock_;

    std::thread thread_;
};

}  // namespace sorvan::alsa
