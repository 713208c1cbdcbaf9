// Free-running capture through OnData on a virtual input device that fills
// every buffer as soon as it is queued: buffers per second, and the
// allocations each buffer costs once the open notification has been handled
// (on every thread, and on the component's own thread alone).
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>

#include "bench/AllocationCounter.h"
#include "components/SorvanIn.h"
#include "framework/Forms.h"
#include "platform/sim/Sim.h"

namespace {

namespace sim = sorvan::sim;

void FreeRunningCapture(benchmark::State& state) {
    const auto bufferSize = static_cast<std::int32_t>(state.range(0));
    sim::Session session({.inputs = {{.name = "Bench", .channels = 1}},
                          .clock = sim::Clock::freeRunning,
                          .logCalls = false});
    auto in = std::make_unique<TSorvanIn>(nullptr);
    in->SetInBuffSize(bufferSize);
    in->SetMaxBuffers(4);
    std::int64_t delivered = 0;
    std::int64_t checksum = 0;
    in->OnData = [&](TObject*, char* data, std::int32_t size) {
        ++delivered;
        checksum += data[size - 1];
    };
    in->open();
    if (!in->IsCapturing()) {
        state.SkipWithError("cannot record from the virtual device");
        return;
    }
    // Wait for the open notification, so that the buffers are allocated.
    while (delivered == 0) Application->HandleMessage();

    const std::int64_t before = AllocationsEverywhere();
    const std::int64_t beforeHere = AllocationsOnThisThread();
    const std::int64_t first = delivered;
    for (auto _ : state) {
        const std::int64_t next = delivered + 1;
        while (delivered < next) Application->HandleMessage();
    }
    // Read before the counters below allocate their own entries.
    const auto everywhere = static_cast<double>(AllocationsEverywhere() - before);
    const auto here = static_cast<double>(AllocationsOnThisThread() - beforeHere);
    const auto buffers = static_cast<double>(delivered - first);
    state.counters["allocs_per_buffer"] = benchmark::Counter(everywhere / buffers);
    state.counters["allocs_per_buffer_app_thread"] = benchmark::Counter(here / buffers);
    state.SetItemsProcessed(delivered - first);
    state.SetBytesProcessed((delivered - first) * bufferSize);
    benchmark::DoNotOptimize(checksum);
    in->close();
    Application->ProcessMessages();
}
BENCHMARK(FreeRunningCapture)->Arg(512)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
