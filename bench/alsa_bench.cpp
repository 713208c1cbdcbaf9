// Free-running capture from the ALSA null PCM, 48 kHz stereo 16-bit in
// 480-frame buffers: through the alsa driver and TSorvanIn's OnData, and as
// a plain snd_pcm_readi loop of the same size for comparison. Both report
// the CPU time (every thread of the process) per second of audio; the
// TSorvanIn run also reports its ratio to the plain loop of the same run.
#include <alsa/asoundlib.h>
#include <benchmark/benchmark.h>

#include <ctime>
#include <string>
#include <vector>

#include "TemporaryAlsaConfiguration.h"
#include "components/SorvanIn.h"
#include "framework/Forms.h"
#include "platform/wave/Driver.h"

namespace {

constexpr unsigned rate = 48000;
constexpr unsigned channels = 2;
constexpr snd_pcm_uframes_t framesPerBuffer = 480;
constexpr double secondsPerBuffer = double(framesPerBuffer) / rate;
constexpr const char* pcmName = "bench_null";

double plainCpuPerAudioSecond = 0;

// The null PCM under a name of its own, with a hint so the driver lists it.
void configureAlsa() {
    static const TemporaryAlsaConfiguration configuration(
        std::string("pcm.") + pcmName + " { type null hint { description \"null\" } }\n");
}

double processCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

void reportCpu(benchmark::State& state, double cpuSeconds, double& perAudioSecond) {
    const double audioSeconds = double(state.iterations()) * secondsPerBuffer;
    perAudioSecond = cpuSeconds / audioSeconds;
    state.counters["cpu_s_per_audio_s"] = perAudioSecond;
    state.SetBytesProcessed(state.iterations() * framesPerBuffer * channels * 2);
}

void BM_PlainReadi(benchmark::State& state) {
    configureAlsa();
    snd_pcm_t* pcm = nullptr;
    if (snd_pcm_open(&pcm, pcmName, SND_PCM_STREAM_CAPTURE, 0) < 0 ||
        snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED, channels,
                           rate, 0, 40000) < 0) {
        state.SkipWithError("cannot open the null PCM");
        return;
    }
    std::vector<char> buffer(framesPerBuffer * channels * 2);
    const double cpuBefore = processCpuSeconds();
    for (auto _ : state) {
        benchmark::DoNotOptimize(snd_pcm_readi(pcm, buffer.data(), framesPerBuffer));
        benchmark::ClobberMemory();
    }
    reportCpu(state, processCpuSeconds() - cpuBefore, plainCpuPerAudioSecond);
    snd_pcm_close(pcm);
}
BENCHMARK(BM_PlainReadi)->MeasureProcessCPUTime();

// One iteration: one buffer handed to OnData (and queued again by TSorvanIn).
void BM_SorvanInOnData(benchmark::State& state) {
    configureAlsa();
    if (!sorvan::wave::selectDriver("alsa") || waveInGetNumDevs() == 0) {
        state.SkipWithError("the alsa driver offers no device");
        return;
    }
    TSorvanIn in(nullptr);
    in.SetChannels(channels);
    in.SetSamples(rate);
    in.SetBits(16);
    in.SetInBuffSize(framesPerBuffer * channels * 2);
    in.SetMaxBuffers(4);
    in.SetWantedDev(wvDevice0);
    std::int64_t delivered = 0;
    in.OnData = [&](TObject*, char* data, std::int32_t) {
        benchmark::DoNotOptimize(data);
        ++delivered;
    };
    in.open();
    if (!in.IsCapturing()) {
        state.SkipWithError("cannot start capture");
        return;
    }
    const double cpuBefore = processCpuSeconds();
    for (auto _ : state) {
        const std::int64_t wanted = delivered + 1;
        while (delivered < wanted) Application->HandleMessage();
    }
    double perAudioSecond = 0;
    reportCpu(state, processCpuSeconds() - cpuBefore, perAudioSecond);
    if (plainCpuPerAudioSecond > 0) {
        state.counters["ratio_to_plain_readi"] = perAudioSecond / plainCpuPerAudioSecond;
    }
    in.close();
    Application->ProcessMessages();
}
BENCHMARK(BM_SorvanInOnData)->MeasureProcessCPUTime();

}  // namespace

BENCHMARK_MAIN();
