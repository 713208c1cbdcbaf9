// The sound server under the pulse driver's tests: the one the test
// fixture started (its folder in SORVAN_PULSE_TEST_SERVER), or a private
// one a test starts for itself to kill.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace sorvan::pulsetest {

// Why no server is there for the tests, or nullopt when one is.
std::optional<std::string> unavailable();

// Points libpulse at the fixture's server and selects the pulse driver;
// skips the test with the reason when there is no server.
#define SORVAN_USE_PULSE_OR_SKIP()                                                      \
    do {                                                                                \
        if (const auto why = ::sorvan::pulsetest::unavailable()) GTEST_SKIP() << *why; \
        ASSERT_TRUE(::sorvan::pulsetest::useFixtureServer());                           \
    } while (false)

bool useFixtureServer();

// Runs pactl against the current server; its standard output.
std::string pactl(const std::string& arguments);
// pactl's "load-module module-null-sink" for a sink named `name`; the module's number.
std::string loadNullSink(const std::string& name);
void unloadModule(const std::string& module);
// Puts every sink's level, and the level the server remembers for this
// program's streams, back to 100 %, for the tests that follow.
void restoreLevels();
// The server's number for the sink named `name`, empty when there is none.
std::string sinkNumber(const std::string& name);
// The sink inputs of this program's streams, as pactl lists them.
struct SinkInput {
    std::string sink;    // the sink's number
    std::string volume;  // pactl's "Volume:" line
};
std::vector<SinkInput> ourSinkInputs();

// A server of the test's own, stopped when this goes.
class PrivateServer {
  public:
    PrivateServer();
    ~PrivateServer();
    PrivateServer(const PrivateServer&) = delete;
    PrivateServer& operator=(const PrivateServer&) = delete;

    bool started() const { return started_; }
    // Points libpulse (and a new pulse driver) at this server.
    bool use() const;
    // Kills the process that serves libpulse's clients, at once.
    bool kill() const;

  private:
    std::filesystem::path dir_;
    std::string script_;  // the fixture's sound-server script
    bool started_ = false;
};

// The frequency of the tone the test servers' microphone hears.
constexpr double virtualToneHz = 440;

// A sine's frequency and where it breaks, after the silence it starts with:
// jumps (frames lost or repeated) and silences (runs of exact zeros, which
// a source that was not fed in time delivers).
struct ToneReport {
    double frequency = 0;
    std::size_t breaks = 0;
    std::size_t silences = 0;
    double peak = 0;
};
ToneReport examineTone(std::vector<std::int16_t> samples, double rate, double expectedHz);

}  // namespace sorvan::pulsetest
