// Buffers and blocks through the waveform audio layer on virtual devices
// with the free-running clock: each one is queued, filled (or played),
// returned with its notification, dispatched on this thread and queued again
// by the window procedure. Also counts the allocations per buffer once the
// cycle runs; the goal is none.
#include <benchmark/benchmark.h>

#include <array>
#include <atomic>
#include <cstdlib>
#include <new>

#include "bench/AllocationCounter.h"
#include "platform/WaveApi.h"
#include "platform/sim/Sim.h"

namespace {

constexpr std::size_t bufferSize = 512;
constexpr std::size_t bufferCount = 4;

// Re-queues every buffer or block that comes back.
LRESULT CALLBACK requeue(HWND, UINT msg, WPARAM handle, LPARAM param) {
    auto* header = reinterpret_cast<LPWAVEHDR>(param);
    if (msg == MM_WIM_DATA) {
        waveInAddBuffer(reinterpret_cast<HWAVEIN>(handle), header, sizeof(WAVEHDR));
    } else if (msg == MM_WOM_DONE) {
        waveOutWrite(reinterpret_cast<HWAVEOUT>(handle), header, sizeof(WAVEHDR));
    }
    return 0;
}

struct Buffers {
    std::array<std::array<char, bufferSize>, bufferCount> data{};
    std::array<WAVEHDR, bufferCount> headers{};

    Buffers() {
        for (std::size_t i = 0; i < bufferCount; ++i) {
            headers[i].lpData = data[i].data();
            headers[i].dwBufferLength = bufferSize;
        }
    }
};

// Dispatches one message per iteration: every one is a returned buffer.
void runCycle(benchmark::State& state) {
    MSG msg;
    std::int64_t before = 0;
    std::size_t dispatched = 0;
    for (auto _ : state) {
        if (dispatched == bufferCount * 4) before = AllocationsEverywhere();  // warmed up
        if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            state.SkipWithError("no buffer came back");
            break;
        }
        DispatchMessageA(&msg);
        ++dispatched;
    }
    const auto counted = dispatched > bufferCount * 4 ? dispatched - bufferCount * 4 : 1;
    state.counters["allocs_per_buffer"] =
        static_cast<double>(AllocationsEverywhere() - before) / static_cast<double>(counted);
    state.counters["buffers_per_s"] =
        benchmark::Counter(static_cast<double>(dispatched), benchmark::Counter::kIsRate);
    state.SetBytesProcessed(static_cast<std::int64_t>(dispatched * bufferSize));
}

void drain() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
}

void BM_CaptureCycle(benchmark::State& state) {
    sorvan::sim::setUp({.inputs = {{.signal = sorvan::sim::Signal::ramp()}},
                        .clock = sorvan::sim::Clock::freeRunning,
                        .logCalls = false});
    const HWND window = CreateMessageWindow(&requeue, 0);
    const WAVEFORMATEX format{WAVE_FORMAT_PCM, 2, 44100, 44100 * 4, 4, 16, 0};
    HWAVEIN in = nullptr;
    waveInOpen(&in, 0, &format, reinterpret_cast<DWORD_PTR>(window), 0, CALLBACK_WINDOW);
    Buffers buffers;
    for (auto& header : buffers.headers) {
        waveInPrepareHeader(in, &header, sizeof header);
        waveInAddBuffer(in, &header, sizeof header);
    }
    MSG opened;
    PeekMessageA(&opened, nullptr, 0, 0, PM_REMOVE);  // MM_WIM_OPEN
    waveInStart(in);

    runCycle(state);

    waveInReset(in);
    drain();
    for (auto& header : buffers.headers) waveInUnprepareHeader(in, &header, sizeof header);
    waveInClose(in);
    drain();
    DestroyWindow(window);
    sorvan::sim::tearDown();
}
BENCHMARK(BM_CaptureCycle);

void BM_PlaybackCycle(benchmark::State& state) {
    sorvan::sim::setUp({.outputs = {{.keepPlayed = false}},
                        .clock = sorvan::sim::Clock::freeRunning,
                        .logCalls = false});
    const HWND window = CreateMessageWindow(&requeue, 0);
    const WAVEFORMATEX format{WAVE_FORMAT_PCM, 2, 44100, 44100 * 4, 4, 16, 0};
    HWAVEOUT out = nullptr;
    waveOutOpen(&out, 0, &format, reinterpret_cast<DWORD_PTR>(window), 0, CALLBACK_WINDOW);
    MSG opened;
    PeekMessageA(&opened, nullptr, 0, 0, PM_REMOVE);  // MM_WOM_OPEN
    Buffers buffers;
    for (auto& header : buffers.headers) {
        waveOutPrepareHeader(out, &header, sizeof header);
        waveOutWrite(out, &header, sizeof header);
    }

    runCycle(state);

    waveOutReset(out);
    drain();
    for (auto& header : buffers.headers) waveOutUnprepareHeader(out, &header, sizeof header);
    waveOutClose(out);
    drain();
    DestroyWindow(window);
    sorvan::sim::tearDown();
}
BENCHMARK(BM_PlaybackCycle);

}  // namespace

BENCHMARK_MAIN();
