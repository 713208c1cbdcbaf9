// One open stream on the sound server.
//
// Everything happens on libpulse's loop thread, in its callbacks, or on the
// caller's thread with the loop locked; the lock is the one that serialises
// the two. A start, stop or pause sets `moving_` under the lock, so once it
// returns no callback reaches the host until the next start.
//
// Capture: the server sends fragments of the size of the application's
// buffers (fragsize from the head buffer at the start; long buffers in
// equal parts of at most 10 ms), each copied into the queued buffers as it
// arrives.
// Playback: the server asks for frames (tlength: four of the application's
// blocks, minreq: one) and gets them at once, as far as blocks are queued.
// A block is returned when the stream's clock (the server's timing,
// interpolated between its reports) has passed its last frame: on each
// request of the server, and by a timer when nothing more comes to write.
// A pause corks the stream, which keeps what the server holds; a reset
// drops the server's stream, and the next start opens a fresh one, so the
// stream's clock and the frames written always count from the same start.
//
// A stream opened on a device by number is bound to it: when the device
// goes, the server ends the stream, and that is a lost device. A stream
// opened on the default follows the server's default wherever it moves.
// The server going away ends every stream at once, the same way.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/pulse/Connection.h"
#include "platform/wave/Driver.h"

namespace sorvan::pulse {

class PulseStream final : public wave::DriverStream {
  public:
    // `device` empty: the server's default.
    static MMRESULT open(std::shared_ptr<Connection> connection, wave::Direction direction,
                         std::string device, const WAVEFORMATEX& format, wave::StreamHost& host,
                         std::unique_ptr<wave::DriverStream>& stream);
    ~PulseStream() override;
    PulseStream(const PulseStream&) = delete;
    PulseStream& operator=(const PulseStream&) = delete;

    MMRESULT start() override;
    MMRESULT stop() override;
    MMRESULT pause() override;
    MMRESULT resume() override;
    void dataQueued() override;
    std::optional<MMRESULT> getVolume(DWORD& volume) override;
    std::optional<MMRESULT> setVolume(DWORD volume) override;

  private:
    PulseStream(std::shared_ptr<Connection> connection, wave::Direction direction,
                std::string device, const WAVEFORMATEX& format, wave::StreamHost& host);

    // These run with the loop locked.
    MMRESULT connect();
    void disconnect();
    pa_buffer_attr attributes() const;
    // Sizes the server's buffer to `bytes` per fragment or block, when that is new.
    void fit(std::size_t bytes);
    std::size_t fragmentFor(std::size_t bufferBytes) const;
    void capture();
    // Input, at a start: throws away all but about the newest `bytes` received.
    void keepNewest(std::size_t bytes);
    void fill();
    // Writes what the server has room for; true when the queue ran out first.
    bool moveFrames();
    // Output: the server holds at most two blocks' worth still to play.
    bool runningShort() const;
    void reportHeard();
    // Output: keeps the timer set for when the last frame written plays.
    void watchTail();
    void setTimer(pa_usec_t due);
    void tailDue();
    void stateChanged();
    void underflow();
    void lose();
    bool cork(bool corked);

    static void onState(pa_stream*, void* self);
    static void onReadable(pa_stream*, std::size_t, void* self);
    static void onWritable(pa_stream*, std::size_t, void* self);
    static void onUnderflow(pa_stream*, void* self);
    static void onTimer(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* self);

    const std::shared_ptr<Connection> connection_;
    const wave::Direction direction_;
    const std::string device_;
    const pa_sample_spec spec_;
    const pa_channel_map map_;
    const std::size_t frameSize_;
    wave::StreamHost& host_;

    pa_stream* stream_ = nullptr;
    pa_time_event* timer_ = nullptr;
    pa_usec_t timerDue_ = PA_USEC_INVALID;  // when the timer fires; invalid: it does not
    std::size_t fragment_;  // bytes per buffer or block the server's buffer is sized for
    bool moving_ = false;   // started and neither stopped, paused nor lost
    bool lost_ = false;
    bool triggered_ = false;         // playback forced to start since it last ran dry
    std::uint64_t written_ = 0;      // output: bytes given to the server's stream
    std::uint64_t heard_ = 0;        // output: bytes reported played
    std::uint64_t sinceDry_ = 0;     // output: bytes written since the stream last ran dry
    bool dry_ = false;               // output: the server read all there was
    bool lateAfterDry_ = false;      // output: it ran dry with no block queued
    int stalls_ = 0;                 // output: timer calls in a row that found nothing played
    std::optional<DWORD> volume_;    // output: set through the handle
    // Output: raised when the queue ran out while the server was running
    // short; input: raised by a start with frames kept. dataQueued takes
    // the loop's lock only then.
    std::atomic<bool> wantsData_{false};
};

}  // namespace sorvan::pulse
