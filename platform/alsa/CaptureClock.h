// Frames a capture device lost without an xrun, found by the clock.
//
// The sound servers' plug-ins report no xrun when the server drops frames:
// the position just moves on, later than the clock says it should. A device
// that has delivered fewer frames than the time since its start holds lost
// the difference. What a device delivers in bursts (a server's quantum)
// and the slow drift of its clock against ours are no gaps: the clock's
// reference follows the device slowly, and only a lag of more than
// `tolerance` frames beyond it counts.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>

namespace sorvan::alsa {

class CaptureClock {
  public:
    using Clock = std::chrono::steady_clock;

    CaptureClock(std::uint32_t rate, std::uint64_t tolerance) : rate_(rate), tolerance_(tolerance) {}

    // The device (re)started: nothing delivered yet.
    void restart() { started_ = false; }

    // `position`: frames delivered since the start plus those waiting in the
    // device. Returns the frames found missing since the last call.
    std::uint64_t missing(std::uint64_t position, Clock::time_point now) {
        if (!started_) {
            started_ = true;
            origin_ = now;
            base_ = static_cast<double>(position);
            reference_ = 0;
            last_ = now;
            return 0;
        }
        const double elapsed = std::chrono::duration<double>(now - origin_).count();
        const double lag = elapsed * rate_ - (static_cast<double>(position) - base_);
        const double behind = lag - reference_;
        if (behind > static_cast<double>(tolerance_)) {
            reference_ = lag;
            last_ = now;
            return static_cast<std::uint64_t>(behind);
        }
        // Ahead of the reference (a burst) moves it at once; behind it, by a
        // tenth of the gap per second, which follows any clock's drift.
        const double seconds = std::chrono::duration<double>(now - last_).count();
        reference_ = lag < reference_ ? lag : reference_ + behind * std::min(seconds / 10, 1.0);
        last_ = now;
        return 0;
    }

  private:
    const double rate_;
    const std::uint64_t tolerance_;
    bool started_ = false;
    Clock::time_point origin_;
    Clock::time_point last_;
    double base_ = 0;       // the position at the start
    double reference_ = 0;  // the lag the device normally has
};

}  // namespace sorvan::alsa
