// bench_event_loops: record 2 s and play them back on the virtual devices
// (48 kHz 16-bit mono, 10 ms capture buffers, 2 buffers, real-time clock)
// with the components served by each kind of event loop, and what it costs:
//
//   run      Application->Run()
//   poll     poll() on the queue's descriptor (Application->QueueDescriptor())
//   glib     a GLib main loop, sorvan::AttachToGMainContext (glue/GLibLoop.h)
//   qt       a Qt event loop, sorvan::AttachToQt (glue/QtLoop.h)
//   poll10   for comparison, the way before the descriptor: ProcessMessages()
//            from a poll() with a 10 ms timeout
//
// Per loop, the medians over the rounds of: the interval between OnData calls
// (p50, p99), the extra delay of OnData after its buffer's end in time (p50),
// the loop thread's wake-ups per second (its voluntary context switches), the
// process's CPU per second of audio, the loop thread's context switches per
// 10 ms of audio, and the recorded sine's jumps (frames lost because no
// buffer was queued), with the rounds that had any. Then the idle cost: the
// loop thread's wake-ups in one second with a TSorvanOut open and nothing
// queued and a TSorvanIn closed, less the one that ends the second.
//
//   bench_event_loops [--rounds N] [LOOP...]
// A measurement program, not a test: it prints figures and judges nothing.
#include <poll.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "components/Sorvan.h"
#include "framework/Forms.h"
#include "platform/sim/Sim.h"

#ifdef SORVAN_BENCH_GLIB
#include "glue/GLibLoop.h"
#endif
#ifdef SORVAN_BENCH_QT
#include <QCoreApplication>
#include <QTimer>

#include "glue/QtLoop.h"
#endif

namespace {

namespace sim = sorvan::sim;
using Clock = std::chrono::steady_clock;

constexpr int rate = 48000;
constexpr int bufferBytes = rate / 100 * 2;  // 10 ms of 16-bit mono
constexpr std::size_t twoSeconds = 2 * rate * 2;
constexpr double sineHz = 440.0;

struct Usage {
    double cpuSeconds = 0;  // the process's
    long voluntary = 0;     // the calling thread's
    long involuntary = 0;
};

// The process's CPU time from the scheduler's own account (exact, unlike
// getrusage's tick-sampled times); the loop thread's switches from getrusage.
Usage Now() {
    timespec cpu{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
    rusage thread{};
    getrusage(RUSAGE_THREAD, &thread);
    return {static_cast<double>(cpu.tv_sec) + static_cast<double>(cpu.tv_nsec) / 1e9,
            thread.ru_nvcsw, thread.ru_nivcsw};
}

// A loop kind: runs the calling thread's loop until a handler sets `done`
// and calls `stop`, as a program leaves its loop from OnClose.
struct Loop {
    std::function<void(bool& done)> run;
    std::function<void()> stop = [] {};
};

double Percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const auto at = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
    return values[at];
}

double Median(std::vector<double> values) {
    return Percentile(std::move(values), 0.5);
}

// Jumps in a 440 Hz sine: a sample far from what the two before it predict.
int SineJumps(const std::vector<char>& bytes) {
    const auto* s = reinterpret_cast<const std::int16_t*>(bytes.data());
    const std::size_t n = bytes.size() / 2;
    const double k = 2 * std::cos(2 * M_PI * sineHz / rate);
    int jumps = 0;
    for (std::size_t i = 2; i < n; ++i) {
        if (std::abs(k * s[i - 1] - s[i - 2] - s[i]) > 200) {
            ++jumps;
            i += 2;  // one gap, one jump
        }
    }
    return jumps;
}

struct Round {
    double intervalP50 = 0, intervalP99 = 0, delayP50 = 0;
    double wakeupsPerSecond = 0, cpuMsPerAudioSecond = 0, switchesPer10ms = 0;
    int jumps = 0;
};

sim::Setup Devices() {
    return {.inputs = {{.name = "Bench In", .channels = 1, .signal = sim::Signal::sine(sineHz)}},
            .outputs = {{.name = "Bench Out", .channels = 1, .keepPlayed = false}},
            .clock = sim::Clock::realTime,
            .logCalls = false};
}

Round RecordAndPlay(const Loop& loop) {
    sim::Session session(Devices());
    std::vector<char> take;
    std::vector<Clock::time_point> arrivals;
    arrivals.reserve(400);
    take.reserve(twoSeconds + 4 * bufferBytes);
    bool done = false;
    const auto finish = [&] {
        done = true;
        loop.stop();
    };

    TSorvanIn in(nullptr);
    in.SetSamples(rate);
    in.SetBits(16);
    in.SetInBuffSize(bufferBytes);
    in.SetMaxBuffers(2);
    TSorvanOut out(nullptr);
    out.SetSamples(rate);
    out.SetBits(16);
    in.OnData = TSVDataEvent([&](TObject*, char* data, std::int32_t size) {
        arrivals.push_back(Clock::now());
        take.insert(take.end(), data, data + size);
        if (take.size() >= twoSeconds) in.close();
    });
    in.OnClose = TNotifyEvent([&](TObject*) {
        if (!out.open() || !out.playback(take.data(), static_cast<std::int32_t>(take.size())))
            finish();
    });
    out.OnDone = TNotifyEvent([&](TObject*) { out.close(); });
    out.OnClose = TNotifyEvent([&](TObject*) { finish(); });

    const Usage before = Now();
    const Clock::time_point started = Clock::now();
    in.open();
    if (!in.IsCapturing()) {
        std::fprintf(stderr, "cannot record: %s\n", in.LastErrorText().c_str());
        std::exit(1);
    }
    loop.run(done);
    const double elapsed = std::chrono::duration<double>(Clock::now() - started).count();
    const Usage after = Now();

    Round round;
    std::vector<double> intervals, delays;
    for (std::size_t i = 0; i < arrivals.size(); ++i) {
        if (i > 0) {
            intervals.push_back(
                std::chrono::duration<double, std::milli>(arrivals[i] - arrivals[i - 1]).count());
        }
        const auto due = started + std::chrono::milliseconds(10 * (i + 1));
        delays.push_back(std::chrono::duration<double, std::milli>(arrivals[i] - due).count());
    }
    round.intervalP50 = Percentile(intervals, 0.5);
    round.intervalP99 = Percentile(intervals, 0.99);
    round.delayP50 = Percentile(delays, 0.5);
    round.wakeupsPerSecond = static_cast<double>(after.voluntary - before.voluntary) / elapsed;
    const double audioSeconds = 2.0 * static_cast<double>(take.size()) / (rate * 2);
    round.cpuMsPerAudioSecond = (after.cpuSeconds - before.cpuSeconds) * 1000 / audioSeconds;
    round.switchesPer10ms = static_cast<double>(after.voluntary - before.voluntary +
                                                after.involuntary - before.involuntary) /
                            (audioSeconds * 100);
    round.jumps = SineJumps(take);
    return round;
}

// The idle second: wake-ups of the loop thread, less the one that ends it.
double IdleWakeups(const std::function<void(std::chrono::milliseconds)>& runFor) {
    sim::Session session(Devices());
    TSorvanIn in(nullptr);
    TSorvanOut out(nullptr);
    out.SetSamples(rate);
    out.SetBits(16);
    out.open();
    runFor(std::chrono::milliseconds(200));  // the open notification
    const Usage before = Now();
    runFor(std::chrono::milliseconds(1000));
    const Usage after = Now();
    out.close();
    runFor(std::chrono::milliseconds(100));
    return static_cast<double>(after.voluntary - before.voluntary - 1);
}

struct Kind {
    Loop loop;
    std::function<void(std::chrono::milliseconds)> runFor;
};

std::map<std::string, Kind> Kinds() {
    std::map<std::string, Kind> kinds;
    kinds["run"] = {{[](bool&) { Application->Run(); }, [] { Application->Terminate(); }},
                    [](std::chrono::milliseconds d) {
                        TThreadBound stopper;
                        std::jthread timer([&] {
                            std::this_thread::sleep_for(d);
                            stopper.Queue([] { Application->Terminate(); });
                        });
                        Application->Run();
                    }};
    auto pollFor = [](int timeoutMs) {
        return [timeoutMs](bool& done) {
            pollfd watched{Application->QueueDescriptor(), POLLIN, 0};
            while (!done) {
                if (timeoutMs < 0) {
                    if (poll(&watched, 1, -1) > 0) Application->ProcessMessages();
                } else {
                    poll(nullptr, 0, timeoutMs);
                    Application->ProcessMessages();
                }
            }
        };
    };
    kinds["poll"] = {{pollFor(-1)}, [](std::chrono::milliseconds d) {
                         pollfd watched{Application->QueueDescriptor(), POLLIN, 0};
                         const auto until = Clock::now() + d;
                         while (Clock::now() < until) {
                             const auto left =
                                 std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now());
                             if (poll(&watched, 1, static_cast<int>(left.count())) > 0)
                                 Application->ProcessMessages();
                         }
                     }};
    kinds["poll10"] = {{pollFor(10)}, [](std::chrono::milliseconds d) {
                           const auto until = Clock::now() + d;
                           while (Clock::now() < until) {
                               poll(nullptr, 0, 10);
                               Application->ProcessMessages();
                           }
                       }};
#ifdef SORVAN_BENCH_GLIB
    static GMainLoop* running = nullptr;
    kinds["glib"] = {{[](bool&) {
                          running = g_main_loop_new(nullptr, FALSE);
                          const guint source = sorvan::AttachToGMainContext();
                          g_main_loop_run(running);
                          g_source_remove(source);
                          g_main_loop_unref(running);
                      },
                      [] { g_main_loop_quit(running); }},
                     [](std::chrono::milliseconds d) {
                         GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
                         const guint source = sorvan::AttachToGMainContext();
                         g_timeout_add(
                             static_cast<guint>(d.count()),
                             [](gpointer l) -> gboolean {
                                 g_main_loop_quit(static_cast<GMainLoop*>(l));
                                 return G_SOURCE_REMOVE;
                             },
                             loop);
                         g_main_loop_run(loop);
                         g_source_remove(source);
                         g_main_loop_unref(loop);
                     }};
#endif
#ifdef SORVAN_BENCH_QT
    kinds["qt"] = {{[](bool&) {
                        const std::unique_ptr<QSocketNotifier> notifier(sorvan::AttachToQt());
                        QCoreApplication::exec();
                    },
                    [] { QCoreApplication::quit(); }},
                   [](std::chrono::milliseconds d) {
                       const std::unique_ptr<QSocketNotifier> notifier(sorvan::AttachToQt());
                       QTimer::singleShot(d, [] { QCoreApplication::quit(); });
                       QCoreApplication::exec();
                   }};
#endif
    return kinds;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef SORVAN_BENCH_QT
    QCoreApplication app(argc, argv);
#endif
    int rounds = 5;
    std::vector<std::string> chosen;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc) {
            rounds = std::max(1, std::atoi(argv[++i]));
        } else {
            chosen.emplace_back(argv[i]);
        }
    }
    auto kinds = Kinds();
    if (chosen.empty()) {
        for (const char* name : {"run", "poll", "glib", "qt", "poll10"}) {
            if (kinds.count(name) != 0) chosen.emplace_back(name);
        }
    }
    std::printf(
        "48 kHz 16-bit mono, 10 ms buffers, 2 buffers, 2 s recorded then played; "
        "medians of %d rounds\n",
        rounds);
    std::printf("%-7s %18s %10s %10s %12s %12s %16s %10s\n", "loop", "interval p50/p99",
                "delay p50", "wakeups/s", "CPU ms/s", "switches/10ms", "lost (rounds)", "idle w/s");
    for (const std::string& name : chosen) {
        const auto found = kinds.find(name);
        if (found == kinds.end()) {
            std::fprintf(stderr, "unknown loop %s (built: run poll poll10%s%s)\n", name.c_str(),
                         kinds.count("glib") ? " glib" : "", kinds.count("qt") ? " qt" : "");
            return 2;
        }
        std::vector<double> p50, p99, delay, wakeups, cpu, switches;
        int jumps = 0, roundsWithJumps = 0;
        for (int r = 0; r < rounds; ++r) {
            const Round round = RecordAndPlay(found->second.loop);
            p50.push_back(round.intervalP50);
            p99.push_back(round.intervalP99);
            delay.push_back(round.delayP50);
            wakeups.push_back(round.wakeupsPerSecond);
            cpu.push_back(round.cpuMsPerAudioSecond);
            switches.push_back(round.switchesPer10ms);
            jumps += round.jumps;
            roundsWithJumps += round.jumps > 0;
        }
        const double idle = IdleWakeups(found->second.runFor);
        char lost[64];
        std::snprintf(lost, sizeof lost, "%d (%d of %d)", jumps, roundsWithJumps, rounds);
        std::printf("%-7s %11.2f/%6.2f %10.2f %10.1f %12.1f %12.2f %16s %10.0f\n", name.c_str(),
                    Median(p50), Median(p99), Median(delay), Median(wakeups), Median(cpu),
                    Median(switches), lost, idle);
        std::fflush(stdout);
    }
    return 0;
}
