// Real time through the alsa driver on a paced device: the project's test
// PCM, which moves a period at each tick of its clock like a sound card and
// overruns or underruns when it is not served in time. 48 kHz stereo 16-bit,
// with 480-frame (10 ms) and 64-frame (1.33 ms) buffers; TSorvanIn keeps 4
// buffers queued, TSorvanOut starts with 4 blocks and gets one more from
// every OnDone. One iteration is one buffer through OnData or OnDone.
//
// Counters, for the goals of the real-time path:
//   cpu_ms_per_audio_s   CPU of every thread per second of audio
//   switches_per_buffer  context switches of the process per buffer
//   interval_p50_ms, interval_p99_ms   between successive OnData/OnDone
//   first_ms             from open to the first OnData/OnDone
//   close_ms             the close call (it stops and resets first)
//   xruns                overruns/underruns the driver recovered from
#include <alsa/asoundlib.h>
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <string>
#include <vector>

#include "TemporaryAlsaConfiguration.h"
#include "components/SorvanIn.h"
#include "components/SorvanOut.h"
#include "framework/Forms.h"
#include "platform/alsa/AlsaDriver.h"
#include "platform/wave/Driver.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int rate = 48000;
constexpr int channels = 2;
constexpr int frameBytes = channels * 2;
constexpr int queued = 4;

bool useAlsa(benchmark::State& state) {
    // The paced PCM as the only device.
    static const TemporaryAlsaConfiguration configuration(
        std::string("pcm_type.sorvan_test { lib \"") + SORVAN_ALSA_TEST_PCM + "\" }\n" +
        "pcm.bench_paced { type sorvan_test hint { description \"paced\" } }\n");
    if (!sorvan::wave::selectDriver("alsa") || waveInGetNumDevs() == 0) {
        state.SkipWithError("the alsa driver offers no paced device");
        return false;
    }
    return true;
}

double processCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

long contextSwitches() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_nvcsw + usage.ru_nivcsw;
}

double milliseconds(Clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

// What one run saw; the arrivals are kept without allocating in the loop.
class Run {
  public:
    explicit Run(std::size_t buffers) { arrivals_.reserve(buffers + queued + 1); }

    void opened() { opened_ = Clock::now(); }
    void arrived() {
        if (arrivals_.size() < arrivals_.capacity()) arrivals_.push_back(Clock::now());
    }
    std::size_t count() const { return arrivals_.size(); }

    void beginWindow() {
        cpu_ = processCpuSeconds();
        switches_ = contextSwitches();
        xruns_ = sorvan::alsa::xrunCount();
    }

    void report(benchmark::State& state, int frames, Clock::duration closing) {
        const double buffers = double(state.iterations());
        const double audioSeconds = buffers * frames / rate;
        state.counters["cpu_ms_per_audio_s"] = (processCpuSeconds() - cpu_) * 1000 / audioSeconds;
        state.counters["switches_per_buffer"] = double(contextSwitches() - switches_) / buffers;
        state.counters["xruns"] = double(sorvan::alsa::xrunCount() - xruns_);
        if (!arrivals_.empty()) state.counters["first_ms"] = milliseconds(arrivals_[0] - opened_);
        std::vector<double> intervals;
        for (std::size_t i = 1; i < arrivals_.size(); ++i) {
            intervals.push_back(milliseconds(arrivals_[i] - arrivals_[i - 1]));
        }
        std::sort(intervals.begin(), intervals.end());
        if (!intervals.empty()) {
            state.counters["interval_p50_ms"] = intervals[intervals.size() / 2];
            state.counters["interval_p99_ms"] = intervals[intervals.size() * 99 / 100];
        }
        state.counters["close_ms"] = milliseconds(closing);
    }

  private:
    Clock::time_point opened_;
    std::vector<Clock::time_point> arrivals_;
    double cpu_ = 0;
    long switches_ = 0;
    std::uint64_t xruns_ = 0;
};

void PacedCapture(benchmark::State& state) {
    if (!useAlsa(state)) return;
    const int frames = static_cast<int>(state.range(0));
    Run run(static_cast<std::size_t>(state.max_iterations));
    TSorvanIn in(nullptr);
    in.SetChannels(channels);
    in.SetSamples(rate);
    in.SetBits(16);
    in.SetInBuffSize(frames * frameBytes);
    in.SetMaxBuffers(queued);
    in.SetWantedDev(wvDevice0);
    in.OnData = [&](TObject*, char* data, std::int32_t) {
        benchmark::DoNotOptimize(data[0]);
        run.arrived();
    };
    run.opened();
    in.open();
    if (!in.IsCapturing()) {
        state.SkipWithError("cannot start capture");
        return;
    }
    while (run.count() == 0) Application->HandleMessage();
    run.beginWindow();
    for (auto _ : state) {
        const std::size_t wanted = run.count() + 1;
        while (run.count() < wanted) Application->HandleMessage();
    }
    const auto closing = Clock::now();
    in.close();
    run.report(state, frames, Clock::now() - closing);
    Application->ProcessMessages();
}

void PacedPlayback(benchmark::State& state) {
    if (!useAlsa(state)) return;
    const int frames = static_cast<int>(state.range(0));
    const std::vector<char> block(static_cast<std::size_t>(frames * frameBytes), 0x10);
    Run run(static_cast<std::size_t>(state.max_iterations));
    TSorvanOut out(nullptr);
    out.SetChannels(channels);
    out.SetSamples(rate);
    out.SetBits(16);
    out.SetWantedDev(wvDevice0);
    bool refill = true;
    out.OnDone = [&](TObject*) {
        run.arrived();
        if (refill) out.playback(block.data(), static_cast<std::int32_t>(block.size()));
    };
    run.opened();
    if (!out.open()) {
        state.SkipWithError("cannot open playback");
        return;
    }
    for (int i = 0; i < queued; ++i) out.playback(block.data(), static_cast<std::int32_t>(block.size()));
    while (run.count() == 0) Application->HandleMessage();
    run.beginWindow();
    for (auto _ : state) {
        const std::size_t wanted = run.count() + 1;
        while (run.count() < wanted) Application->HandleMessage();
    }
    refill = false;
    const auto closing = Clock::now();
    out.close();
    run.report(state, frames, Clock::now() - closing);
    Application->ProcessMessages();
}

// About two seconds of audio each.
BENCHMARK(PacedCapture)->Arg(480)->Iterations(200)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(PacedCapture)->Arg(64)->Iterations(1500)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(PacedPlayback)->Arg(480)->Iterations(200)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(PacedPlayback)->Arg(64)->Iterations(1500)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
