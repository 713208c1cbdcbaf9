// Cost of the notification path: post + dispatch on one thread, and the
// latency from PostMessage on another thread to the handler.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "framework/Forms.h"
#include "framework/Messages.h"

namespace {

using Clock = std::chrono::steady_clock;

class TCounter : public TComponent {
  public:
    TCounter() : TComponent(nullptr), FHandle(AllocateHWnd(TWndMethod(this, &TCounter::WndProc))) {}
    ~TCounter() override { DeallocateHWnd(FHandle); }
    void WndProc(TMessage& message) {
        ++handled;
        if (message.LParam != 0) {
            const auto sent = Clock::time_point(Clock::duration(message.LParam));
            latencies.push_back(
                std::chrono::duration<double, std::micro>(Clock::now() - sent).count());
        }
    }

    HWND FHandle;
    std::int64_t handled = 0;
    std::vector<double> latencies;
};

void PostAndDispatchOneThread(benchmark::State& state) {
    TCounter counter;
    for (auto _ : state) {
        PostMessage(counter.FHandle, WM_USER, 0, 0);
        Application->ProcessMessages();
    }
    state.SetItemsProcessed(counter.handled);
}
BENCHMARK(PostAndDispatchOneThread);

// Every iteration posts from a second thread and waits on this one; the
// counters give the median and the 99th percentile of post-to-handler latency.
void CrossThreadLatency(benchmark::State& state) {
    TCounter counter;
    std::atomic<int> requested = 0;
    std::atomic<bool> stop = false;
    std::thread poster([&] {
        int posted = 0;
        while (!stop) {
            if (requested.load() == posted) {
                std::this_thread::yield();
                continue;
            }
            ++posted;
            PostMessage(counter.FHandle, WM_USER, 0, Clock::now().time_since_epoch().count());
        }
    });
    for (auto _ : state) {
        requested.fetch_add(1);
        Application->HandleMessage();
    }
    stop = true;
    poster.join();
    auto& l = counter.latencies;
    std::sort(l.begin(), l.end());
    state.counters["median_us"] = l[l.size() / 2];
    state.counters["p99_us"] = l[l.size() * 99 / 100];
}
BENCHMARK(CrossThreadLatency)->Iterations(20000)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
