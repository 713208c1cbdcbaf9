// Records three seconds from the default input device and prints the level
// of every buffer as it arrives. With a file name as argument the recording
// is also written to that WAVE file.
//
// Without a sound card the platform's virtual devices stand in (a sine on
// the default input), so the program runs anywhere.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <span>
#include <string>

#include "components/Sorvan.h"
#include "framework/Forms.h"

namespace {

constexpr int SampleRate = 16000;
constexpr int BufferBytes = SampleRate / 10 * 2;  // 100 ms of 16-bit mono
constexpr std::int64_t TotalBytes = std::int64_t{SampleRate} * 2 * 3;

struct Level {
    double peakDb;
    double rmsDb;
};

Level Measure(std::span<const std::int16_t> samples) {
    double peak = 0;
    double sumOfSquares = 0;
    for (const std::int16_t s : samples) {
        const double x = s / 32768.0;
        peak = std::max(peak, std::abs(x));
        sumOfSquares += x * x;
    }
    const double rms = samples.empty() ? 0 : std::sqrt(sumOfSquares / samples.size());
    const auto toDb = [](double v) { return v > 0 ? 20 * std::log10(v) : -120.0; };
    return {toDb(peak), toDb(rms)};
}

class LevelMeter {
  public:
    explicit LevelMeter(TSorvanIn& in) : in_(in) {
        in_.SetChannels(1);
        in_.SetSamples(SampleRate);
        in_.SetBits(16);
        in_.SetInBuffSize(BufferBytes);
        in_.SetMaxBuffers(4);
        in_.OnData =
            TSVDataEvent([this](TObject*, char* data, std::int32_t size) { Show(data, size); });
        in_.OnClose = TNotifyEvent([](TObject*) { Application->Terminate(); });
    }

  private:
    void Show(const char* data, std::int32_t size) {
        // The bytes are only valid during this call: copy what we look at.
        std::int16_t samples[BufferBytes / 2];
        const auto count = std::min<std::size_t>(size / 2, std::size(samples));
        std::memcpy(samples, data, count * 2);
        const Level level = Measure({samples, count});
        const int bar = std::clamp(static_cast<int>((level.rmsDb + 60) / 2), 0, 30);
        std::printf("buffer %3d  %5d bytes  peak %6.1f dBFS  rms %6.1f dBFS  |%s\n", ++buffers_,
                    size, level.peakDb, level.rmsDb, std::string(bar, '#').c_str());
        received_ += size;
        if (received_ >= TotalBytes) in_.close();
    }

    TSorvanIn& in_;
    int buffers_ = 0;
    std::int64_t received_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    const auto in = std::make_unique<TSorvanIn>(nullptr);
    LevelMeter meter(*in);
    if (argc > 1) in->SetFileName(argv[1]);

    in->open();
    if (!in->IsCapturing()) {
        std::fprintf(stderr, "record_levels: cannot record from the default input device\n");
        return 1;
    }
    Application->Run();
    if (argc > 1) std::printf("recorded to %s\n", argv[1]);
    return 0;
}
