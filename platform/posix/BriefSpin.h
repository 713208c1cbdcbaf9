// Looking a little longer before going to sleep, where that pays.
//
// A thread that hands work to another and waits for its answer pays a sleep
// and a wake-up per hand-off, several microseconds, while the answer itself
// may come within one. A waiter whose recent waits were that short therefore
// watches for its condition for a few microseconds before it sleeps; one
// whose waits are long (a device that delivers every few milliseconds)
// sleeps at once, and spends no CPU on watching.
#pragma once

#include <chrono>
#include <thread>

namespace sorvan::posix {

class BriefSpin {
  public:
    using Clock = std::chrono::steady_clock;

    bool worthSpinning() const { return worthSpinning_; }

    // True when `ready` held within the spin; false when the caller should
    // sleep, and then tell `slept` how long for.
    template <class Ready>
    bool awaits(Ready ready) {
        if (!worthSpinning_) return false;
        const Clock::time_point until = Clock::now() + spinFor;
        do {
            for (int i = 0; i < checksBetweenYields; ++i) {
                if (ready()) return true;
                relax();
            }
            // The thread that answers may be waiting for this very processor.
            std::this_thread::yield();
        } while (!ready() && Clock::now() < until);
        if (ready()) return true;
        worthSpinning_ = false;
        return false;
    }

    void slept(Clock::duration howLong) { worthSpinning_ = canSpin() && howLong < shortWait; }

  private:
    // About what a sleep and a wake-up cost together on a virtual machine.
    static constexpr auto spinFor = std::chrono::microseconds(10);
    // A wait this short would have ended within a spin or two.
    static constexpr auto shortWait = std::chrono::microseconds(50);
    static constexpr int checksBetweenYields = 16;

    static bool canSpin() {
        static const bool otherCores = std::thread::hardware_concurrency() > 1;
        return otherCores;
    }

    static void relax() {
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#elif defined(__aarch64__)
        asm volatile("yield");
#endif
    }

    bool worthSpinning_ = false;
};

}  // namespace sorvan::posix
