// Virtual wave devices for tests, benchmarks and programs without a sound card.
//
// A test sets up the devices it wants, drives the clock, reads what was
// played and what was called, and tears everything down:
//
//   sorvan::sim::Session session({
//       .inputs = {{.name = "Mic", .channels = 1, .signal = sim::Signal::ramp()}},
//       .outputs = {{.name = "Speaker"}},
//   });
//   ... waveInOpen(&h, 0, &format, hwnd, 0, CALLBACK_WINDOW) ...
//   sim::advance(std::chrono::milliseconds(10));   // 10 ms of frames move
//   auto bytes = sim::played(0);
//   auto calls = sim::log();
//
// Setting up makes the sim driver the current one (see Driver.h). Streams
// still open when the devices are torn down keep working on their old
// devices until they are closed.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/WaveApi.h"
#include "platform/wave/Driver.h"

namespace sorvan::sim {

using wave::Direction;
using wave::Fn;
using wave::Call;

// Where an input device's frames come from. Every kind produces whole frames
// of the open stream's format.
struct Signal {
    enum class Kind { silence, sine, ramp, bytes };
    Kind kind = Kind::silence;
    double frequency = 440.0;     // sine, in Hz
    double amplitude = 0.5;       // sine, 0..1 of full scale
    std::vector<std::byte> data;  // bytes: played once, then silence (or repeated)
    bool repeat = false;

    static Signal silence() { return {}; }
    static Signal sine(double frequency = 440.0, double amplitude = 0.5) {
        return {.kind = Kind::sine, .frequency = frequency, .amplitude = amplitude};
    }
    // Byte values 0, 1, 2, ... 255, 0, 1, ... counted over the whole stream.
    static Signal ramp() { return {.kind = Kind::ramp}; }
    static Signal bytes(std::vector<std::byte> data, bool repeat = false) {
        return {.kind = Kind::bytes, .data = std::move(data), .repeat = repeat};
    }
};

// Decides whether open (and WAVE_FORMAT_QUERY) accepts a PCM format that
// passed the generic checks and the device's rate range. Empty: every such
// format.
using FormatFilter = std::function<bool(const WAVEFORMATEX&)>;
// Accepts only the standard formats whose WAVE_FORMAT_* bit is in `bits`.
FormatFilter onlyStandardFormats(DWORD bits);

inline constexpr DWORD allStandardFormats = 0x000FFFFF;

// The rates a device takes unless a test widens them, as sound cards
// commonly do; any other rate is WAVERR_BADFORMAT.
inline constexpr DWORD lowestRate = 8000;
inline constexpr DWORD highestRate = 192000;

struct InputDevice {
    std::string name = "Sim Input";
    WORD channels = 2;
    DWORD formats = allStandardFormats;
    DWORD minRate = lowestRate;
    DWORD maxRate = highestRate;
    FormatFilter accepts;
    Signal signal;
};

struct OutputDevice {
    std::string name = "Sim Output";
    WORD channels = 2;
    DWORD formats = allStandardFormats;
    DWORD support = WAVECAPS_VOLUME | WAVECAPS_LRVOLUME;
    DWORD minRate = lowestRate;
    DWORD maxRate = highestRate;
    FormatFilter accepts;
    DWORD volume = 0xFFFFFFFF;
    bool keepPlayed = true;  // off for long runs: played() then stays empty
};

enum class Clock {
    manual,       // nothing moves until advance() is called
    realTime,     // a thread of the sim moves frames as time passes
    freeRunning,  // buffers fill and blocks play as soon as they are queued
};

struct Setup {
    std::vector<InputDevice> inputs;
    std::vector<OutputDevice> outputs;
    Clock clock = Clock::manual;
    std::size_t defaultInput = 0;  // what WAVE_MAPPER opens
    std::size_t defaultOutput = 0;
    bool logCalls = true;  // off for benchmarks: the log grows with every call
};

// The set SORVAN_AUDIO=sim starts with: one input playing a 440 Hz sine, one
// output, real-time clock.
Setup defaultSetup();

// Replaces the devices, clears the log, the played bytes, the loopbacks and
// the pending failures, and makes the sim the current driver.
void setUp(Setup setup);
// No devices, manual clock, everything cleared.
void tearDown();

// setUp for the lifetime of a scope, tearDown at its end.
class Session {
  public:
    explicit Session(Setup setup) { setUp(std::move(setup)); }
    ~Session() { tearDown(); }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
};

// A device plugged in joins the end of its list; one unplugged leaves it,
// and a stream open on it keeps what it had. Either way every notification
// window is told (WM_DEVICECHANGE), as of a real device. Unplugging a device
// that does not exist is false and tells nobody.
void plugInput(InputDevice device);
void plugOutput(OutputDevice device);
bool unplugInput(std::size_t index);
bool unplugOutput(std::size_t index);

// Manual clock: moves every started stream on by `duration` (fractions of a
// frame carry over to the next call). Outputs move first, so a loopback
// delivers in the same step. Ignored by the other clocks.
void advance(std::chrono::nanoseconds duration);

// Every byte taken for playback from output device `index`, in order.
std::vector<std::byte> played(std::size_t index);
void clearPlayed(std::size_t index);

void setSignal(std::size_t inputIndex, Signal signal);

// Bytes played on output `outputIndex` become the frames of input
// `inputIndex` (raw bytes, whatever the two formats; silence while none are
// waiting). Replaces the input's signal until disconnected.
void connect(std::size_t outputIndex, std::size_t inputIndex);
void disconnect(std::size_t inputIndex);

// The next `count` calls of `fn` (on output/input device `device`, or on any
// device) return `code` and do nothing else. Calls made with a bad id or
// handle fail their own way and do not use up a failure.
void failNext(Fn fn, MMRESULT code, int count = 1,
              std::optional<std::size_t> device = std::nullopt);

struct LoggedCall {
    Call call;
    MMRESULT result = MMSYSERR_NOERROR;
};
// Every API call since setUp (or clearLog), in the order they returned. The
// result of waveInGetNumDevs/waveOutGetNumDevs is the count they returned.
std::vector<LoggedCall> log();
void clearLog();
// The logged calls of one function.
std::vector<LoggedCall> calls(Fn fn);

}  // namespace sorvan::sim
