#include "RandomRunner.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>

#include "RandomSequence.h"

#ifdef __SANITIZE_ADDRESS__
#include <sanitizer/common_interface_defs.h>
#endif

namespace randomseq {

namespace {

using Clock = std::chrono::steady_clock;

// The seed of the sequence running now, for reports written while dying.
std::atomic<std::uint64_t> runningSeed{0};

void SayRunningSeed() {
    char line[96];
    const int length = std::snprintf(line, sizeof line, "\nrandom sequence failed: seed %llu\n",
                                     static_cast<unsigned long long>(runningSeed.load()));
    if (length > 0) static_cast<void>(write(STDERR_FILENO, line, static_cast<std::size_t>(length)));
}

#ifdef __SANITIZE_ADDRESS__
void ReportSeedWhenDying() {
    __sanitizer_set_death_callback(SayRunningSeed);
}
#else
void OnFatalSignal(int signal) {
    SayRunningSeed();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void ReportSeedWhenDying() {
    for (int signal : {SIGSEGV, SIGBUS, SIGABRT, SIGFPE, SIGILL}) {
        std::signal(signal, OnFatalSignal);
    }
}
#endif

// Ends the process, naming the seed, when one sequence takes far too long.
class Watchdog {
  public:
    explicit Watchdog(std::chrono::seconds limit) : limit_(limit), thread_([this] { Watch(); }) {}
    ~Watchdog() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }
    void SequenceStarted() { started_.store(Clock::now().time_since_epoch().count()); }

  private:
    void Watch() {
        std::unique_lock lock(mutex_);
        while (!wake_.wait_for(lock, std::chrono::seconds(1), [this] { return stopping_; })) {
            const Clock::time_point started{Clock::duration(started_.load())};
            if (Clock::now() - started > limit_) {
                std::fprintf(stderr, "\nrandom sequence hangs: seed %llu\n",
                             static_cast<unsigned long long>(runningSeed.load()));
                std::_Exit(3);
            }
        }
    }

    const std::chrono::seconds limit_;
    std::atomic<Clock::rep> started_{Clock::now().time_since_epoch().count()};
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::thread thread_;
};

[[noreturn]] void Usage(const char* program) {
    std::fprintf(stderr, "usage: %s [--seed S] [--count N | --seconds T] [--steps K] [--trace]\n",
                 program);
    std::exit(2);
}

}  // namespace

RunOptions ParseRunOptions(int argc, char** argv, RunOptions options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        try {
            if (arg == "--seed" && hasValue) {
                options.firstSeed = std::stoull(argv[++i]);
            } else if (arg == "--count" && hasValue) {
                options.count = std::stol(argv[++i]);
                options.seconds = 0;
            } else if (arg == "--seconds" && hasValue) {
                options.seconds = std::stod(argv[++i]);
            } else if (arg == "--steps" && hasValue) {
                options.steps = std::stoi(argv[++i]);
            } else if (arg == "--trace") {
                options.trace = true;
            } else {
                Usage(argv[0]);
            }
        } catch (const std::exception&) {
            Usage(argv[0]);
        }
    }
    return options;
}

long RunSequences(Devices& devices, const RunOptions& options) {
    ReportSeedWhenDying();
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("sorvan-random-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const Options sequenceOptions{.steps = options.steps, .folder = folder, .trace = options.trace};

    const auto start = Clock::now();
    const auto deadline = start + std::chrono::duration<double>(options.seconds);
    long sequences = 0;
    long steps = 0;
    long injected = 0;
    long events = 0;
    long files = 0;
    long failed = 0;
    {
        Watchdog watchdog(std::chrono::seconds(60));
        for (std::uint64_t seed = options.firstSeed;; ++seed) {
            if (options.seconds > 0 ? Clock::now() >= deadline : sequences >= options.count) break;
            runningSeed = seed;
            watchdog.SequenceStarted();
            if (options.trace)
                std::fprintf(stderr, "seed %llu\n", static_cast<unsigned long long>(seed));
            const Outcome outcome = RunSequence(devices, seed, sequenceOptions);
            ++sequences;
            steps += outcome.stepsRun;
            injected += outcome.injectedFailures;
            events += outcome.events;
            files += outcome.filesChecked;
            if (outcome.Passed()) continue;
            ++failed;
            std::fprintf(
                stderr,
                "\nrandom sequence failed: seed %llu (replay: --seed %llu --count 1 --trace)\n",
                static_cast<unsigned long long>(seed), static_cast<unsigned long long>(seed));
            for (const std::string& v : outcome.violations)
                std::fprintf(stderr, "  %s\n", v.c_str());
            std::fprintf(stderr, "  steps:\n");
            for (const std::string& s : outcome.steps) std::fprintf(stderr, "    %s\n", s.c_str());
        }
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf(
        "%s: %ld sequences from seed %llu, %ld steps, %ld failures injected, %ld events, "
        "%ld files checked, %ld failed, %.1f s\n",
        devices.Name().c_str(), sequences, static_cast<unsigned long long>(options.firstSeed),
        steps, injected, events, files, failed, seconds);
    return failed;
}

}  // namespace randomseq
