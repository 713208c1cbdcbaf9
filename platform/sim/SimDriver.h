// The sim driver: the virtual devices behind the control API of Sim.h.
//
// One instance per process. Its mutex guards the devices, the clock, the log
// and the failures; it is held while frames move, i.e. while calling the
// core's StreamHost, and never while the core calls in holding its own locks
// in the other order (see Driver.h).
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/sim/Sim.h"

namespace sorvan::sim {

class SimStream;

struct InputState {
    InputDevice config;
    unsigned signalGeneration = 0;  // bumped by setSignal: streams start it over
    bool looped = false;
    std::deque<std::byte> loopBytes;
};

struct OutputState {
    OutputDevice config;
    std::vector<std::byte> played;
    std::shared_ptr<InputState> loopTarget;
};

class SimDriver final : public wave::Driver, public wave::CallObserver {
  public:
    static const std::shared_ptr<SimDriver>& instance();

    SimDriver();

    void setUp(Setup setup);
    void plug(InputDevice device);
    void plug(OutputDevice device);
    bool unplug(Direction direction, std::size_t index);
    void advance(std::chrono::nanoseconds duration);
    std::vector<std::byte> played(std::size_t index);
    void clearPlayed(std::size_t index);
    void setSignal(std::size_t inputIndex, Signal signal);
    void connect(std::size_t outputIndex, std::size_t inputIndex);
    void disconnect(std::size_t inputIndex);
    void failNext(Fn fn, MMRESULT code, int count, std::optional<std::size_t> device);
    std::vector<LoggedCall> log();
    void clearLog();

    // wave::Driver
    std::size_t deviceCount(Direction direction) override;
    wave::DeviceInfo device(Direction direction, std::size_t index) override;
    std::size_t defaultDevice(Direction direction) override;
    MMRESULT checkFormat(Direction direction, std::size_t index,
                         const WAVEFORMATEX& format) override;
    MMRESULT open(Direction direction, std::size_t index, const WAVEFORMATEX& format,
                  wave::StreamHost& host, std::unique_ptr<wave::DriverStream>& stream) override;
    MMRESULT getVolume(std::size_t outputIndex, DWORD& volume) override;
    MMRESULT setVolume(std::size_t outputIndex, DWORD volume) override;
    bool isVirtual() const override { return true; }

    // wave::CallObserver: the log and the injected failures.
    std::optional<MMRESULT> intercept(const Call& call) override;
    void returned(const Call& call, MMRESULT result) override;

    // For SimStream.
    void started(SimStream& stream);
    void stopped(SimStream& stream);
    void queued(SimStream& stream);

  private:
    struct Failure {
        Fn fn;
        MMRESULT code;
        int remaining;
        std::optional<std::size_t> device;
    };

    void stopClockThread();
    void runClock();
    void moveAll(std::chrono::nanoseconds duration);

    std::mutex mutex_;
    std::vector<std::shared_ptr<InputState>> inputs_;
    std::vector<std::shared_ptr<OutputState>> outputs_;
    std::size_t defaultInput_ = 0;
    std::size_t defaultOutput_ = 0;
    Clock clock_ = Clock::manual;
    // Read without the lock first: a call neither logged nor made to fail
    // costs two relaxed loads.
    std::atomic<bool> logCalls_ = true;
    std::vector<LoggedCall> log_;
    std::vector<Failure> failures_;
    std::atomic<bool> failing_ = false;  // failures_ is not empty
    std::vector<SimStream*> running_;  // started streams, moved by the clock

    std::condition_variable clockWake_;
    std::thread clockThread_;
    bool clockStopping_ = false;
};

}  // namespace sorvan::sim
