// Frames a capture device lost or made up without an xrun, found by the clock.
//
// The sound servers' plug-ins report no xrun when the server drops frames
// or fills in silence: the position just moves on, behind or ahead of what
// the clock says. The lag of the position behind the clock is watched over
// windows of time; its lowest point in a window is where the device stands
// (what it delivers in bursts, a server's quantum, and a late wake-up of the
// reader only add to the lag for a moment). A lowest point that jumped by
// more than `tolerance` frames from one window to the next, and stays there
// in the window after, is a gap of that many frames. The slow drift of a
// device's clock against ours moves it far less from one window to the next.
#pragma once

#include <chrono>
#include <cmath>
#include <cstdint>
#include <limits>

namespace sorvan::alsa {

class CaptureClock {
  public:
    using Clock = std::chrono::steady_clock;

    CaptureClock(std::uint32_t rate, std::uint64_t tolerance) : rate_(rate), tolerance_(tolerance) {}

    // The device (re)started: nothing delivered yet.
    void restart() { started_ = false; }

    // `position`: frames delivered since the start plus those waiting in the
    // device. Returns the frames of a gap found now, else 0.
    std::uint64_t gapAt(std::uint64_t position, Clock::time_point now) {
        if (!started_) {
            started_ = true;
            origin_ = now;
            base_ = static_cast<double>(position);
            windowsSeen_ = 0;
            jump_ = 0;
            startWindow(now);
        }
        const double elapsed = std::chrono::duration<double>(now - origin_).count();
        lowest_ = std::min(lowest_, elapsed * rate_ - (static_cast<double>(position) - base_));
        if (now - windowStart_ < window) return 0;
        std::uint64_t gap = 0;
        if (++windowsSeen_ > settlingWindows) {
            const double moved = lowest_ - before_;
            if (jump_ != 0) {
                // Stayed where it jumped to: the gap is what it kept of the jump.
                if ((jump_ > 0) == (moved + jump_ > 0) && std::abs(moved + jump_) > tolerance_) {
                    gap = static_cast<std::uint64_t>(std::min(std::abs(jump_), std::abs(moved + jump_)));
                }
                jump_ = 0;
            } else if (std::abs(moved) > tolerance_) {
                jump_ = moved;
            }
        }
        if (jump_ == 0) before_ = lowest_;
        startWindow(now);
        return gap;
    }

  private:
    static constexpr auto window = std::chrono::milliseconds(100);
    static constexpr int settlingWindows = 3;

    void startWindow(Clock::time_point now) {
        windowStart_ = now;
        lowest_ = std::numeric_limits<double>::infinity();
    }

    const double rate_;
    const std::uint64_t tolerance_;
    bool started_ = false;
    int windowsSeen_ = 0;
    Clock::time_point origin_;
    Clock::time_point windowStart_;
    double base_ = 0;       // the position at the start
    double before_ = 0;  // the least lag of the window before a jump
    double lowest_ = 0;  // the least lag in the window so far
    double jump_ = 0;    // how far the last window jumped, while it is not yet known to stay
};

}  // namespace sorvan::alsa
