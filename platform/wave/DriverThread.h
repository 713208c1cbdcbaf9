// The thread of a driver that moves a stream's frames on a thread of its own.
//
// The core's calls on the stream (start, stop, pause, resume, and the
// close that ends it) become requests that the thread carries out in order
// while the caller waits; nothing else touches the device, so a driver needs
// no lock around it. Between requests the thread does the stream's work one
// step at a time: a transfer, or a wait for the device. A queued header wakes
// the thread only while it waits for one, and a thread whose recent waits
// for headers were short (an application that hands buffers straight back)
// watches for the next one a few microseconds before it sleeps.
//
// Every wait of the thread also ends at a request or, while it waits for
// data, a queued header: a driver that sleeps on descriptors of its own puts
// wakeFd() among them.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/WaveApi.h"
#include "platform/posix/BriefSpin.h"
#include "platform/posix/Wakeup.h"

namespace sorvan::wave {

class DriverThread {
  public:
    enum class Want { stopped, running, paused, quit };

    // What the driver's stream does on the thread.
    class Work {
      public:
        // Carries out a request; its result goes back to the caller.
        virtual MMRESULT carryOut(Want want) = 0;
        // Whether the stream has frames to move now (started, not lost).
        virtual bool moving() const = 0;
        // One transfer, or one wait for the device; returns soon after a
        // request arrives (see wakeFd).
        virtual void step() = 0;

      protected:
        ~Work() = default;
    };

    DriverThread() = default;
    ~DriverThread();
    DriverThread(const DriverThread&) = delete;
    DriverThread& operator=(const DriverThread&) = delete;

    // Starts the thread, once the work is whole.
    void start(Work& work);
    // Carries out `want` on the thread and returns its result; Want::quit
    // also ends the thread (the driver's destructor asks for it first).
    MMRESULT request(Want want);
    // On the thread: whether a request waits, for a step that would block.
    bool requestPending();
    // A buffer or block was queued.
    void dataQueued();

    // On the thread. Readable while a request, or a header being waited
    // for, is there; cleared by the waits below or by clearWake().
    int wakeFd() const { return wakeup_.fd(); }
    void clearWake() { wakeup_.clear(); }
    // Sleeps until a request comes.
    void waitForRequest();
    // Sleeps until a request or a queued header, unless `nothingQueued`
    // says one came meanwhile; it is asked once the thread will be woken
    // for any header queued after, so no header is slept through.
    void waitForData(const std::function<bool()>& nothingQueued);
    // While true, queued headers wake the thread's own waits too.
    void wakeForData(bool wake) { waitingForData_.store(wake); }
    // Sleeps for `time` unless woken first (then false).
    bool sleepFor(std::chrono::nanoseconds time);

  private:
    void run(Work& work);

    posix::Wakeup wakeup_;  // requests and awaited headers
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

    std::thread thread_;
};

}  // namespace sorvan::wave
