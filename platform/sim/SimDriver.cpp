#include "platform/sim/SimDriver.h"

#include <algorithm>

#include "platform/sim/SimStream.h"
#include "platform/wave/DeviceChanges.h"

namespace sorvan::sim {

namespace {

constexpr auto clockTick = std::chrono::milliseconds(5);

template <class State>
State* at(const std::vector<std::shared_ptr<State>>& states, std::size_t index) {
    return index < states.size() ? states[index].get() : nullptr;
}

}  // namespace

const std::shared_ptr<SimDriver>& SimDriver::instance() {
    // Never destroyed: the clock thread may still run while the process exits.
    static const auto& driver = []() -> const std::shared_ptr<SimDriver>& {
        const auto& made = *new std::shared_ptr<SimDriver>(std::make_shared<SimDriver>());
        wave::observeCalls(*made, *made);
        return made;
    }();
    return driver;
}

SimDriver::SimDriver() {
    setUp(defaultSetup());
}

void SimDriver::stopClockThread() {
    {
        std::lock_guard lock(mutex_);
        if (!clockThread_.joinable()) return;
        clockStopping_ = true;
    }
    clockWake_.notify_all();
    clockThread_.join();
    std::lock_guard lock(mutex_);
    clockStopping_ = false;
}

void SimDriver::runClock() {
    std::unique_lock lock(mutex_);
    while (!clockStopping_) {
        clockWake_.wait_for(lock, clockTick);
        if (clockStopping_) break;
        const auto now = std::chrono::steady_clock::now();
        for (SimStream* stream : running_) {
            if (stream->isOutput()) stream->catchUp(now);
        }
        for (SimStream* stream : running_) {
            if (!stream->isOutput()) stream->catchUp(now);
        }
    }
}

void SimDriver::setUp(Setup setup) {
    stopClockThread();
    std::lock_guard lock(mutex_);
    inputs_.clear();
    outputs_.clear();
    for (auto& device : setup.inputs) {
        inputs_.push_back(std::make_shared<InputState>(InputState{.config = std::move(device)}));
    }
    for (auto& device : setup.outputs) {
        outputs_.push_back(std::make_shared<OutputState>(OutputState{.config = std::move(device)}));
    }
    defaultInput_ = setup.defaultInput;
    defaultOutput_ = setup.defaultOutput;
    clock_ = setup.clock;
    logCalls_.store(setup.logCalls, std::memory_order_relaxed);
    log_.clear();
    failures_.clear();
    failing_.store(false, std::memory_order_relaxed);
}

void SimDriver::plug(InputDevice device) {
    {
        std::lock_guard lock(mutex_);
        inputs_.push_back(std::make_shared<InputState>(InputState{.config = std::move(device)}));
    }
    wave::devicesChanged();
}

void SimDriver::plug(OutputDevice device) {
    {
        std::lock_guard lock(mutex_);
        outputs_.push_back(std::make_shared<OutputState>(OutputState{.config = std::move(device)}));
    }
    wave::devicesChanged();
}

bool SimDriver::unplug(Direction direction, std::size_t index) {
    {
        std::lock_guard lock(mutex_);
        const auto remove = [index](auto& list, std::size_t& defaultIndex) {
            if (index >= list.size()) return false;
            list.erase(list.begin() + static_cast<std::ptrdiff_t>(index));
            // The default stays on the same device while it is there.
            if (defaultIndex > index) --defaultIndex;
            return true;
        };
        const bool removed = direction == Direction::input ? remove(inputs_, defaultInput_)
                                                           : remove(outputs_, defaultOutput_);
        if (!removed) return false;
    }
    wave::devicesChanged();
    return true;
}

void SimDriver::moveAll(std::chrono::nanoseconds duration) {
    for (SimStream* stream : running_) {
        if (stream->isOutput()) stream->advance(duration);
    }
    for (SimStream* stream : running_) {
        if (!stream->isOutput()) stream->advance(duration);
    }
}

void SimDriver::advance(std::chrono::nanoseconds duration) {
    std::lock_guard lock(mutex_);
    if (clock_ == Clock::manual) moveAll(duration);
}

std::vector<std::byte> SimDriver::played(std::size_t index) {
    std::lock_guard lock(mutex_);
    const OutputState* output = at(outputs_, index);
    return output != nullptr ? output->played : std::vector<std::byte>{};
}

void SimDriver::clearPlayed(std::size_t index) {
    std::lock_guard lock(mutex_);
    if (OutputState* output = at(outputs_, index)) output->played.clear();
}

void SimDriver::setSignal(std::size_t inputIndex, Signal signal) {
    std::lock_guard lock(mutex_);
    if (InputState* input = at(inputs_, inputIndex)) {
        input->config.signal = std::move(signal);
        ++input->signalGeneration;
    }
}

void SimDriver::connect(std::size_t outputIndex, std::size_t inputIndex) {
    std::lock_guard lock(mutex_);
    OutputState* output = at(outputs_, outputIndex);
    if (output == nullptr || inputIndex >= inputs_.size()) return;
    output->loopTarget = inputs_[inputIndex];
    output->loopTarget->looped = true;
}

void SimDriver::disconnect(std::size_t inputIndex) {
    std::lock_guard lock(mutex_);
    InputState* input = at(inputs_, inputIndex);
    if (input == nullptr) return;
    input->looped = false;
    input->loopBytes.clear();
    for (auto& output : outputs_) {
        if (output->loopTarget.get() == input) output->loopTarget = nullptr;
    }
}

void SimDriver::failNext(Fn fn, MMRESULT code, int count, std::optional<std::size_t> device) {
    if (count <= 0) return;
    std::lock_guard lock(mutex_);
    failures_.push_back({fn, code, count, device});
    failing_.store(true, std::memory_order_relaxed);
}

std::vector<LoggedCall> SimDriver::log() {
    std::lock_guard lock(mutex_);
    return log_;
}

void SimDriver::clearLog() {
    std::lock_guard lock(mutex_);
    log_.clear();
}

std::size_t SimDriver::deviceCount(Direction direction) {
    std::lock_guard lock(mutex_);
    return direction == Direction::input ? inputs_.size() : outputs_.size();
}

wave::DeviceInfo SimDriver::device(Direction direction, std::size_t index) {
    std::lock_guard lock(mutex_);
    if (direction == Direction::input) {
        const InputState* input = at(inputs_, index);
        if (input == nullptr) return {};
        const auto& config = input->config;
        return {.name = config.name, .channels = config.channels, .formats = config.formats};
    }
    const OutputState* output = at(outputs_, index);
    if (output == nullptr) return {};
    const auto& config = output->config;
    return {.name = config.name,
            .channels = config.channels,
            .formats = config.formats,
            .support = config.support};
}

std::size_t SimDriver::defaultDevice(Direction direction) {
    std::lock_guard lock(mutex_);
    return direction == Direction::input ? defaultInput_ : defaultOutput_;
}

MMRESULT SimDriver::checkFormat(Direction direction, std::size_t index,
                                const WAVEFORMATEX& format) {
    std::lock_guard lock(mutex_);
    const auto judge = [&](const auto& config) {
        if (format.nSamplesPerSec < config.minRate || format.nSamplesPerSec > config.maxRate)
            return WAVERR_BADFORMAT;
        return !config.accepts || config.accepts(format) ? MMSYSERR_NOERROR : WAVERR_BADFORMAT;
    };
    if (direction == Direction::input) {
        if (const InputState* input = at(inputs_, index)) return judge(input->config);
    } else if (const OutputState* output = at(outputs_, index)) {
        return judge(output->config);
    }
    return MMSYSERR_BADDEVICEID;
}

MMRESULT SimDriver::open(Direction direction, std::size_t index, const WAVEFORMATEX& format,
                         wave::StreamHost& host, std::unique_ptr<wave::DriverStream>& stream) {
    std::shared_ptr<InputState> input;
    std::shared_ptr<OutputState> output;
    {
        std::lock_guard lock(mutex_);
        if (direction == Direction::input) {
            if (index < inputs_.size()) input = inputs_[index];
        } else if (index < outputs_.size()) {
            output = outputs_[index];
        }
    }
    if (input == nullptr && output == nullptr) return MMSYSERR_BADDEVICEID;
    stream = std::make_unique<SimStream>(*this, std::move(input), std::move(output), format, host);
    return MMSYSERR_NOERROR;
}

MMRESULT SimDriver::getVolume(std::size_t outputIndex, DWORD& volume) {
    std::lock_guard lock(mutex_);
    const OutputState* output = at(outputs_, outputIndex);
    if (output == nullptr) return MMSYSERR_BADDEVICEID;
    volume = output->config.volume;
    return MMSYSERR_NOERROR;
}

MMRESULT SimDriver::setVolume(std::size_t outputIndex, DWORD volume) {
    std::lock_guard lock(mutex_);
    OutputState* output = at(outputs_, outputIndex);
    if (output == nullptr) return MMSYSERR_BADDEVICEID;
    output->config.volume = volume;
    return MMSYSERR_NOERROR;
}

std::optional<MMRESULT> SimDriver::intercept(const Call& call) {
    if (!failing_.load(std::memory_order_relaxed)) return std::nullopt;
    std::lock_guard lock(mutex_);
    const auto failure = std::find_if(failures_.begin(), failures_.end(), [&](const Failure& f) {
        return f.fn == call.fn && (!f.device || f.device == call.device);
    });
    if (failure == failures_.end()) return std::nullopt;
    const MMRESULT code = failure->code;
    if (--failure->remaining == 0) failures_.erase(failure);
    failing_.store(!failures_.empty(), std::memory_order_relaxed);
    return code;
}

void SimDriver::returned(const Call& call, MMRESULT result) {
    if (!logCalls_.load(std::memory_order_relaxed)) return;
    std::lock_guard lock(mutex_);
    log_.push_back({call, result});
}

void SimDriver::started(SimStream& stream) {
    std::lock_guard lock(mutex_);
    if (std::find(running_.begin(), running_.end(), &stream) == running_.end()) {
        running_.push_back(&stream);
    }
    stream.markStarted(std::chrono::steady_clock::now());
    if (clock_ == Clock::realTime && !clockThread_.joinable()) {
        clockThread_ = std::thread([this] { runClock(); });
    }
}

void SimDriver::stopped(SimStream& stream) {
    std::lock_guard lock(mutex_);
    std::erase(running_, &stream);
}

void SimDriver::queued(SimStream& stream) {
    std::lock_guard lock(mutex_);
    if (clock_ != Clock::freeRunning) return;
    if (std::find(running_.begin(), running_.end(), &stream) != running_.end()) stream.drain();
}

}  // namespace sorvan::sim
