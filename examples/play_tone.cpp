// Plays a two-second 440 Hz tone on the default output device.
//
// A few blocks are handed over at the start; each OnDone hands over the next
// one, so the device never runs dry. When the last block has played the
// device is closed, and OnClose ends the message loop.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <numbers>
#include <vector>

#include "components/Sorvan.h"
#include "framework/Forms.h"

namespace {

constexpr int SampleRate = 22050;
constexpr double Frequency = 440.0;
constexpr double Seconds = 2.0;
constexpr int BlockFrames = 2205;  // 100 ms
constexpr int BlocksAhead = 3;

class TonePlayer {
  public:
    explicit TonePlayer(TSorvanOut& out) : out_(out) {
        out_.SetChannels(1);
        out_.SetSamples(SampleRate);
        out_.SetBits(16);
        out_.OnDone = TNotifyEvent([this](TObject*) { Refill(); });
        out_.OnClose = TNotifyEvent([](TObject*) { Application->Terminate(); });
    }

    bool Start() {
        if (!out_.open()) return false;
        for (int i = 0; i < BlocksAhead; ++i) HandOverNextBlock();
        return true;
    }

  private:
    void Refill() {
        HandOverNextBlock();
        if (!out_.IsPlaying()) out_.close();
    }

    void HandOverNextBlock() {
        const int total = static_cast<int>(SampleRate * Seconds);
        if (nextFrame_ >= total) return;
        const int frames = std::min(BlockFrames, total - nextFrame_);
        std::vector<std::int16_t> block(frames);
        for (int i = 0; i < frames; ++i) {
            const double t = static_cast<double>(nextFrame_ + i) / SampleRate;
            block[i] = static_cast<std::int16_t>(0.3 * 32767 *
                                                 std::sin(2 * std::numbers::pi * Frequency * t));
        }
        nextFrame_ += frames;
        out_.playback(block.data(), static_cast<std::int32_t>(block.size() * sizeof block[0]));
    }

    TSorvanOut& out_;
    int nextFrame_ = 0;
};

}  // namespace

int main() {
    const auto out = std::make_unique<TSorvanOut>(nullptr);
    TonePlayer player(*out);
    if (!player.Start()) {
        std::fprintf(stderr, "play_tone: cannot open the default output device\n");
        return 1;
    }
    Application->Run();
    return 0;
}
