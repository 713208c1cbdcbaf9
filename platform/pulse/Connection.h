// One connection to the sound server: a libpulse context on a threaded
// main loop of its own.
//
// Every libpulse call on the context or its streams is made with the loop
// locked (Connection::Lock); the loop's thread runs the callbacks with it
// locked already. A thread that needs an answer from the server waits with
// the lock held (await), which lets the loop run meanwhile; the loop's
// thread itself never waits.
#pragma once

#include <pulse/pulseaudio.h>

#include <memory>
#include <string>

namespace sorvan::pulse {

class Connection {
  public:
    // Connects to the server libpulse's configuration names (PULSE_SERVER,
    // or the user's runtime folder). Null with `reason` set when none answers.
    static std::shared_ptr<Connection> open(std::string& reason);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    class Lock {
      public:
        explicit Lock(const Connection& connection) : loop_(connection.loop_) {
            pa_threaded_mainloop_lock(loop_);
        }
        ~Lock() { pa_threaded_mainloop_unlock(loop_); }
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

      private:
        pa_threaded_mainloop* loop_;
    };

    // The callers of these hold a Lock.
    pa_context* context() const { return context_; }
    pa_threaded_mainloop* loop() const { return loop_; }
    bool alive() const;
    // Waits until `operation` has finished (or the connection failed), then
    // lets it go; false when it never started or was cancelled.
    bool await(pa_operation* operation) const;
    // Waits for the next signal from a callback.
    void waitForSignal() const { pa_threaded_mainloop_wait(loop_); }
    void signal() const { pa_threaded_mainloop_signal(loop_, 0); }
    // The server's own words for the last failure on the context.
    std::string lastError() const;

  private:
    Connection();
    bool connect(std::string& reason);

    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
};

}  // namespace sorvan::pulse
