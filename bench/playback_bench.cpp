// Cost of the playback path on virtual devices:
// - blocks per second through playback -> MM_WOM_DONE -> OnDone with a
//   device that plays every block as soon as it has it, and the allocations
//   each block costs (in playback alone, and over the whole cycle);
// - the time to hand over N blocks ahead of time, which must grow linearly
//   with N (compare /10000 with /100000), on an open device that does not
//   play and on a closed one (the component alone).
//
// 100,000 blocks are about 60 MB. glibc gives freed memory of that size back
// to the system, and touching it again costs a page fault every few blocks,
// which would swamp what is measured here; main keeps it in the process.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "bench/AllocationCounter.h"
#include "components/SorvanOut.h"
#include "framework/Forms.h"
#include "platform/sim/Sim.h"

namespace {

namespace sim = sorvan::sim;

constexpr std::int32_t BlockSize = 512;
constexpr std::int64_t InFlight = 8;

sim::Setup Devices(sim::Clock clock) {
    return {.outputs = {{.name = "Bench", .keepPlayed = false}}, .clock = clock, .logCalls = false};
}

void PlaybackCycle(benchmark::State& state) {
    sim::Session session(Devices(sim::Clock::freeRunning));
    const std::vector<char> block(BlockSize, 0x40);
    auto out = std::make_unique<TSorvanOut>(nullptr);
    std::int64_t handed = 0;
    std::int64_t done = 0;
    out->OnDone = [&](TObject*) { ++done; };
    if (!out->open()) {
        state.SkipWithError("cannot open the virtual device");
        return;
    }
    Application->ProcessMessages();

    std::int64_t inPlayback = 0;
    const std::int64_t before = AllocationsEverywhere();
    for (auto _ : state) {
        const std::int64_t start = AllocationsEverywhere();
        out->playback(block.data(), BlockSize);
        inPlayback += AllocationsEverywhere() - start;
        ++handed;
        while (handed - done >= InFlight) Application->HandleMessage();
    }
    while (done < handed) Application->HandleMessage();
    const std::int64_t total = AllocationsEverywhere() - before;

    state.SetItemsProcessed(handed);
    state.counters["allocs_in_playback"] =
        benchmark::Counter(static_cast<double>(inPlayback) / static_cast<double>(handed));
    state.counters["allocs_per_cycle"] =
        benchmark::Counter(static_cast<double>(total) / static_cast<double>(handed));
    out->close();
    Application->ProcessMessages();
}
BENCHMARK(PlaybackCycle)->UseRealTime();

// Hands over state.range(0) blocks; the component is then closed and
// destroyed outside the timing.
void QueueAhead(benchmark::State& state, bool deviceOpen) {
    sim::Session session(Devices(sim::Clock::manual));
    const std::vector<char> block(BlockSize, 0x40);
    const std::int64_t count = state.range(0);
    std::int64_t componentAllocations = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto out = std::make_unique<TSorvanOut>(nullptr);
        if (deviceOpen && !out->open()) {
            state.SkipWithError("cannot open the virtual device");
            return;
        }
        const std::int64_t before = AllocationsEverywhere();
        state.ResumeTiming();
        for (std::int64_t i = 0; i < count; ++i) out->playback(block.data(), BlockSize);
        state.PauseTiming();
        componentAllocations += AllocationsEverywhere() - before;
        out.reset();
        Application->ProcessMessages();
        state.ResumeTiming();
    }
    const auto blocks = static_cast<double>(count * state.iterations());
    state.SetItemsProcessed(count * state.iterations());
    state.counters["allocs_per_block"] =
        benchmark::Counter(static_cast<double>(componentAllocations) / blocks);
}
BENCHMARK_CAPTURE(QueueAhead, open_device, true)
    ->Arg(10'000)
    ->Arg(100'000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(QueueAhead, closed_device, false)
    ->Arg(10'000)
    ->Arg(100'000)
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
#ifdef __GLIBC__
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    mallopt(M_MMAP_THRESHOLD, 1 << 30);
#endif
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
