// Recording throughput to a WAVE file, for 64 KiB and 512-byte buffers, as a
// ratio to plain write() calls of the same buffers to a file in the same
// folder (counter vs_write; 1.0 means no cost over the bare writes):
// - WavFileAppend: the file writer alone;
// - RecordToFile: the whole path, a free-running virtual device feeding
//   TSorvanIn with FileName set.
// The plain writes are interleaved with the measured ones, a file's worth at
// a time, so that both meet the same page cache and the same neighbours.
// The folder is $SORVAN_BENCH_DIR, else the system's temporary folder.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "components/SorvanIn.h"
#include "components/WavFile.h"
#include "framework/Forms.h"
#include "platform/sim/Sim.h"

namespace {

namespace sim = sorvan::sim;
using Clock = std::chrono::steady_clock;

// Files are started afresh after this many bytes, so a run needs little disk.
// Each is a new file: replacing one in place makes some file systems flush
// the old contents, which would measure the disk instead.
constexpr std::int64_t BytesPerFile = std::int64_t{64} << 20;

std::string BenchFile(const char* name) {
    const char* chosen = std::getenv("SORVAN_BENCH_DIR");
    const std::filesystem::path folder =
        chosen != nullptr ? std::filesystem::path(chosen) : std::filesystem::temp_directory_path();
    return (folder / ("sorvan-bench-" + std::to_string(getpid()) + "-" + name)).string();
}

// The reference: write() of buffers of one size, each file's worth into a
// new file, created and closed like a recording's.
class PlainWrites {
  public:
    explicit PlainWrites(std::size_t size) : path_(BenchFile("plain.raw")), buffer_(size, 0x55) {}
    ~PlainWrites() { std::filesystem::remove(path_); }
    PlainWrites(const PlainWrites&) = delete;
    PlainWrites& operator=(const PlainWrites&) = delete;

    // Writes `total` bytes to a new file, timed.
    void Write(std::int64_t total) {
        std::filesystem::remove(path_);
        const auto start = Clock::now();
        const int fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        for (std::int64_t done = 0; done < total; done += std::ssize(buffer_)) {
            benchmark::DoNotOptimize(::write(fd, buffer_.data(), buffer_.size()));
        }
        ::close(fd);
        seconds_ += std::chrono::duration<double>(Clock::now() - start).count();
    }
    double Seconds() const { return seconds_; }

  private:
    std::string path_;
    std::vector<char> buffer_;
    double seconds_ = 0;
};

// Runs the measured steps and, after every file's worth of them, the same
// bytes as plain writes; reports throughput and the ratio of the two.
template <class Step, class NewFile>
void Interleaved(benchmark::State& state, std::size_t size, NewFile newFile, Step step) {
    PlainWrites plain(size);
    std::int64_t bytes = 0;
    std::int64_t inFile = 0;
    double ownSeconds = 0;
    newFile();
    auto start = Clock::now();
    for (auto _ : state) {
        if (inFile >= BytesPerFile) {
            state.PauseTiming();
            ownSeconds += std::chrono::duration<double>(Clock::now() - start).count();
            plain.Write(inFile);
            newFile();
            inFile = 0;
            start = Clock::now();
            state.ResumeTiming();
        }
        step();
        inFile += static_cast<std::int64_t>(size);
        bytes += static_cast<std::int64_t>(size);
    }
    ownSeconds += std::chrono::duration<double>(Clock::now() - start).count();
    plain.Write(inFile);
    state.SetBytesProcessed(bytes);
    if (ownSeconds > 0) state.counters["vs_write"] = plain.Seconds() / ownSeconds;
}

void WavFileAppend(benchmark::State& state) {
    const auto size = static_cast<std::size_t>(state.range(0));
    const std::string path = BenchFile("append.wav");
    const std::vector<char> buffer(size, 0x55);
    WavFile file;
    Interleaved(
        state, size,
        [&] {
            file.Complete();
            std::filesystem::remove(path);
            file.Create(path, 1, 8000, 8);
        },
        [&] { file.Append(buffer); });
    file.Complete();
    std::filesystem::remove(path);
}

void RecordToFile(benchmark::State& state) {
    const auto size = static_cast<std::int32_t>(state.range(0));
    const std::string path = BenchFile("record.wav");
    sim::Session session({.inputs = {{.name = "Bench", .channels = 1}},
                          .clock = sim::Clock::freeRunning,
                          .logCalls = false});
    auto in = std::make_unique<TSorvanIn>(nullptr);
    in->SetInBuffSize(size);
    in->SetMaxBuffers(4);
    in->SetFileName(path);
    std::int64_t delivered = 0;
    in->OnData = [&](TObject*, char*, std::int32_t) { ++delivered; };

    // Each file is a recording of its own: the open notification creates it.
    const auto newRecording = [&] {
        in->close();
        Application->ProcessMessages();
        std::filesystem::remove(path);
        in->open();
    };
    const auto nextBuffer = [&] {
        const std::int64_t next = delivered + 1;
        while (delivered < next) Application->HandleMessage();
    };
    Interleaved(state, static_cast<std::size_t>(size), newRecording, nextBuffer);
    in.reset();
    std::filesystem::remove(path);
}

}  // namespace

BENCHMARK(WavFileAppend)->Arg(64 << 10)->Arg(512)->UseRealTime();
BENCHMARK(RecordToFile)->Arg(64 << 10)->Arg(512)->UseRealTime();

BENCHMARK_MAIN();
