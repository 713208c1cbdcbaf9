#include "tools/sorvan/Recorder.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <memory>

#include "components/SorvanIn.h"
#include "tools/sorvan/CliError.h"
#include "tools/sorvan/Devices.h"
#include "tools/sorvan/MessagePump.h"
#include "tools/sorvan/ProgressLine.h"
#include "tools/sorvan/StopSignal.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// A device that delivers nothing for this long is taken for gone, unless
// its buffers take longer than that to fill: then it gets three of them.
constexpr auto SilentDeviceLimit = 5s;

Clock::duration SilenceAllowed(const RecordPlan& plan) {
    const auto bufferTime = std::chrono::duration<double>(
        plan.format.Seconds(static_cast<std::uint64_t>(plan.bufferSize)));
    return std::max<Clock::duration>(
        SilentDeviceLimit, std::chrono::duration_cast<Clock::duration>(3 * bufferTime));
}
// How long the close notification, which completes the file, may take.
constexpr auto CloseWait = 3000ms;

}  // namespace

RecordOutcome Record(const RecordPlan& plan, const DataSink& sink, ProgressLine& progress) {
    auto in = std::make_unique<TSorvanIn>(nullptr);
    in->SetWantedDev(plan.device);
    in->SetChannels(plan.format.channels);
    in->SetSamples(plan.format.rate);
    in->SetBits(plan.format.bits);
    in->SetMaxBuffers(static_cast<TSVIBuffers>(plan.buffers));
    in->SetInBuffSize(plan.bufferSize);

    RecordOutcome outcome;
    double tickPeak = 0;
    bool closed = false;
    auto lastData = Clock::now();
    std::exception_ptr sinkError;
    in->OnData = [&](TObject*, char* data, std::int32_t size) {
        if (sinkError) return;
        // Only what the limit asks for: the last buffer may bring more.
        const std::uint64_t wanted =
            plan.byteLimit == 0 ? UINT64_MAX : plan.byteLimit - std::min(plan.byteLimit, outcome.bytes);
        const std::span bytes(reinterpret_cast<const std::byte*>(data),
                              static_cast<std::size_t>(std::min<std::uint64_t>(
                                  wanted, static_cast<std::uint64_t>(size))));
        const double peak = PeakLevel(bytes, plan.format.bits);
        tickPeak = std::max(tickPeak, peak);
        outcome.peakLevel = std::max(outcome.peakLevel, peak);
        outcome.bytes += bytes.size();
        lastData = Clock::now();
        // An exception would only reach the message loop: kept and raised
        // once the device is closed.
        try {
            if (sink) sink(bytes);
        } catch (...) {
            sinkError = std::current_exception();
        }
    };
    in->OnClose = [&](TObject*) { closed = true; };

    MessagePump pump;
    in->open();
    const std::string label = DeviceLabel(Direction::input, plan.device);
    if (!in->IsOpen())
        throw CliError("cannot record: " + label + " " +
                       ExplainOpenFailure(Direction::input, plan.device, plan.format));
    if (!in->IsCapturing()) {
        in->close();
        throw CliError("cannot record: " + label + " opened but did not start");
    }

    const auto started = lastData = Clock::now();
    const std::optional<double> total =
        plan.limitIsDuration ? std::optional(plan.format.Seconds(plan.byteLimit)) : std::nullopt;
    bool deviceWentSilent = false;
    const auto silenceAllowed = SilenceAllowed(plan);
    pump.RunUntil(
        [&] {
            return StopRequested() || deviceWentSilent || sinkError ||
                   (plan.byteLimit != 0 && outcome.bytes >= plan.byteLimit);
        },
        [&] {
            deviceWentSilent = Clock::now() - lastData > silenceAllowed;
            const double elapsed = std::chrono::duration<double>(Clock::now() - started).count();
            progress.Draw(std::min(elapsed, total.value_or(elapsed)), total, outcome.bytes,
                          tickPeak);
            tickPeak = 0;
        });
    outcome.interrupted = StopRequested();
    progress.Clear();

    in->close();
    outcome.gaps = in->Gaps();
    pump.RunUntil([&] { return closed; }, {}, CloseWait);
    // Whatever the close notification did not complete, the destructor does.
    in.reset();

    if (sinkError) std::rethrow_exception(sinkError);
    if (deviceWentSilent)
        throw CliError(label + " stopped delivering audio after " + std::to_string(outcome.bytes) +
                       " bytes");
    return outcome;
}
