#include "platform/sim/SimStream.h"

#include <algorithm>

namespace sorvan::sim {

namespace {

constexpr std::size_t scratchBytes = 4096;
constexpr std::uint64_t nanosPerSecond = 1'000'000'000;

}  // namespace

SimStream::SimStream(SimDriver& driver, std::shared_ptr<InputState> input,
                     std::shared_ptr<OutputState> output, const WAVEFORMATEX& format,
                     wave::StreamHost& host)
    : driver_(driver),
      input_(std::move(input)),
      output_(std::move(output)),
      format_(format),
      host_(host),
      source_(format),
      signalGeneration_(input_ != nullptr ? input_->signalGeneration : 0) {
    const std::size_t frameSize = format.nBlockAlign;
    scratch_.resize(std::max(frameSize, scratchBytes - scratchBytes % frameSize));
}

SimStream::~SimStream() {
    driver_.stopped(*this);
}

MMRESULT SimStream::start() {
    driver_.started(*this);
    return MMSYSERR_NOERROR;
}

MMRESULT SimStream::stop() {
    driver_.stopped(*this);
    return MMSYSERR_NOERROR;
}

void SimStream::dataQueued() {
    driver_.queued(*this);
}

void SimStream::advance(std::chrono::nanoseconds duration) {
    if (duration.count() <= 0) return;
    frameTime_ += static_cast<std::uint64_t>(duration.count()) * format_.nSamplesPerSec;
    std::uint64_t bytes = frameTime_ / nanosPerSecond * format_.nBlockAlign;
    frameTime_ %= nanosPerSecond;
    while (bytes > 0) {
        const std::size_t chunk = std::min<std::uint64_t>(bytes, scratch_.size());
        // An output with nothing left to play lets the rest of the time pass silently.
        if (moveOnce(chunk) == 0 && isOutput()) return;
        bytes -= chunk;
    }
}

void SimStream::catchUp(std::chrono::steady_clock::time_point now) {
    advance(now - lastTick_);
    lastTick_ = now;
}

void SimStream::drain() {
    if (isOutput()) {
        while (moveOnce(scratch_.size()) > 0) {
        }
        return;
    }
    while (const std::size_t pending = host_.pendingBytes()) {
        if (moveOnce(std::min(pending, scratch_.size())) == 0) return;
    }
}

std::size_t SimStream::moveOnce(std::size_t bytes) {
    const std::span<std::byte> chunk(scratch_.data(), bytes);
    if (isOutput()) {
        const std::size_t played = host_.play(chunk);
        record(chunk.first(played));
        return played;
    }
    produce(chunk);
    return host_.capture(chunk);
}

void SimStream::produce(std::span<std::byte> out) {
    if (input_->looped) {
        auto& waiting = input_->loopBytes;
        const std::size_t count = std::min(out.size(), waiting.size());
        std::copy_n(waiting.begin(), count, out.begin());
        waiting.erase(waiting.begin(), waiting.begin() + static_cast<std::ptrdiff_t>(count));
        std::fill(out.begin() + static_cast<std::ptrdiff_t>(count), out.end(),
                  source_.silenceByte());
        return;
    }
    if (signalGeneration_ != input_->signalGeneration) {
        signalGeneration_ = input_->signalGeneration;
        source_.restart();
    }
    source_.fill(input_->config.signal, out);
}

void SimStream::record(std::span<const std::byte> bytes) {
    if (output_->config.keepPlayed) {
        output_->played.insert(output_->played.end(), bytes.begin(), bytes.end());
    }
    if (output_->loopTarget != nullptr && output_->loopTarget->looped) {
        auto& waiting = output_->loopTarget->loopBytes;
        waiting.insert(waiting.end(), bytes.begin(), bytes.end());
    }
}

}  // namespace sorvan::sim
