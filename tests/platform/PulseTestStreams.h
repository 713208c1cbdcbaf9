// Streams the pulse tests drive through the wave API: a recorder that
// keeps handing its buffers back, and a player of a sine in blocks. Both
// report to one window; the test pumps it and passes each notification on.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>

#include "WaveTestSupport.h"

namespace sorvan::pulsetest {

// 48 kHz stereo 16-bit: what the test server's devices run at.
WAVEFORMATEX testFormat();

// The number of the device whose szPname is `name`, or WAVE_MAPPER - 1 when none is.
constexpr UINT noDevice = WAVE_MAPPER - 1;
UINT inputNamed(const char* name);
UINT outputNamed(const char* name);

// Hands each notification to `take` for `duration`, or until `done` holds.
void pump(wavetest::NotificationWindow& window, std::chrono::milliseconds duration,
          const std::function<void(const wavetest::Notification&)>& take,
          const std::function<bool()>& done = [] { return false; });

class Recorder {
  public:
    Recorder(wavetest::NotificationWindow& window, UINT id, std::size_t buffers,
             std::size_t bufferBytes);
    ~Recorder();
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    bool opened() const { return handle_ != nullptr; }
    HWAVEIN handle() const { return handle_; }
    // Takes a buffer's frames and hands it back, while `keepGoing`.
    void take(const wavetest::Notification& notification, bool keepGoing = true);
    // The left channel as recorded so far.
    const std::vector<std::int16_t>& left() const { return left_; }
    std::size_t returned() const { return returned_; }

  private:
    HWAVEIN handle_ = nullptr;
    wavetest::Buffers buffers_;
    std::vector<std::int16_t> left_;
    std::size_t returned_ = 0;
};

class Player {
  public:
    // Writes `blocks` blocks of `blockMs` of a continuous sine at once.
    Player(wavetest::NotificationWindow& window, UINT id, double hz, std::size_t blocks,
           std::size_t blockMs);
    ~Player();
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    bool opened() const { return handle_ != nullptr; }
    HWAVEOUT handle() const { return handle_; }
    void take(const wavetest::Notification& notification);
    std::size_t done() const { return done_; }
    std::size_t blocks() const { return blocks_; }

  private:
    HWAVEOUT handle_ = nullptr;
    wavetest::Buffers buffers_;
    std::size_t blocks_;
    std::size_t done_ = 0;
};

}  // namespace sorvan::pulsetest
