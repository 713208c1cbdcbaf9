#include "tools/sorvan/Player.h"

#include <algorithm>
#include <chrono>
#include <deque>
#include <exception>
#include <memory>
#include <vector>

#include "components/SorvanOut.h"
#include "tools/sorvan/CliError.h"
#include "tools/sorvan/ComponentRun.h"
#include "tools/sorvan/Devices.h"
#include "tools/sorvan/MessagePump.h"
#include "tools/sorvan/ProgressLine.h"
#include "tools/sorvan/StopSignal.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// A device that returns no block for this long while it holds some is taken for stuck.
constexpr auto StuckDeviceLimit = 5s;

}  // namespace

PlayOutcome Play(const PlayPlan& plan, const PcmSource& source, ProgressLine& progress) {
    auto out = std::make_unique<TSorvanOut>(nullptr);
    out->SetWantedDev(plan.device);
    out->SetChannels(plan.format.channels);
    out->SetSamples(plan.format.rate);
    out->SetBits(plan.format.bits);

    std::vector<std::byte> block(plan.framesPerBlock *
                                 static_cast<std::size_t>(plan.format.BlockAlign()));

    PlayOutcome outcome;
    std::deque<std::size_t> queued;  // sizes of the blocks the device holds, oldest first
    bool sourceEnded = false;
    bool closed = false;
    // Blocks the closing reset hands back were never played: not counted.
    bool counting = true;
    std::exception_ptr sourceError;
    double tickPeak = 0;
    auto lastDone = Clock::now();

    // Runs inside OnDone too, where an escaping exception would only be logged
    // by the message loop: the source's error is kept and raised afterwards.
    const auto feed = [&] {
        while (!sourceEnded && !sourceError && !StopRequested() &&
               queued.size() < static_cast<std::size_t>(plan.blocksAhead)) {
            std::size_t size = 0;
            try {
                size = source(block);
            } catch (...) {
                sourceError = std::current_exception();
                return;
            }
            if (size == 0) {
                sourceEnded = true;
                return;
            }
            const double peak = PeakLevel(std::span(block).first(size), plan.format.bits);
            tickPeak = std::max(tickPeak, peak);
            outcome.peakLevel = std::max(outcome.peakLevel, peak);
            queued.push_back(size);
            out->playback(block.data(), static_cast<std::int32_t>(size));
        }
    };
    out->OnDone = [&](TObject*) {
        // Blocks come back in the order they were written.
        if (queued.empty()) return;
        if (counting) outcome.bytes += queued.front();
        queued.pop_front();
        lastDone = Clock::now();
        feed();
    };
    out->OnClose = [&](TObject*) { closed = true; };

    MessagePump pump;
    out->open();
    if (!out->IsOpen()) RaiseOpenFailure("play", Direction::output, plan.device, plan.format);
    if (plan.streamVolume) {
        const DWORD both = DWORD{*plan.streamVolume} << 16 | *plan.streamVolume;
        if (waveOutSetVolume(out->DeviceID(), both) != MMSYSERR_NOERROR)
            throw CliError(DeviceLabel(Direction::output, plan.device) + " has no volume control");
    }
    const std::string label = DeviceLabel(Direction::output, plan.device);

    feed();
    lastDone = Clock::now();
    bool stuck = false;
    outcome.interrupted = RunUntilDone(
        pump, [&] { return sourceError || stuck || (sourceEnded && queued.empty()); },
        [&] {
            stuck = !queued.empty() && Clock::now() - lastDone > StuckDeviceLimit;
            progress.Draw(plan.format.Seconds(outcome.bytes), plan.totalSeconds, outcome.bytes,
                          tickPeak);
            tickPeak = 0;
        },
        progress);
    counting = false;
    outcome.gaps = CloseAndDestroy(out, pump, closed);

    if (sourceError) std::rethrow_exception(sourceError);
    if (stuck) throw CliError(label + " stopped playing");
    return outcome;
}
