// sorvan record FILE: records from an input device into a WAV file through
// TSorvanIn and its FileName, for a given time or until Ctrl-C.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <CLI/CLI.hpp>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <memory>

#include "tools/sorvan/CliError.h"
#include "tools/sorvan/Commands.h"
#include "tools/sorvan/CommonOptions.h"
#include "tools/sorvan/Devices.h"
#include "tools/sorvan/NumberChecks.h"
#include "tools/sorvan/ProgressLine.h"
#include "tools/sorvan/Recorder.h"
#include "tools/sorvan/StopSignal.h"
#include "tools/sorvan/UniqueFd.h"
#include "tools/sorvan/WavLayout.h"

namespace {

// The RIFF size field (data + 36) is unsigned 32-bit: the recording file
// stops growing before it would pass 4 GiB - 1.
constexpr std::uint64_t MaxRecordingBytes = 0xFFFFFFFFull - 36;
constexpr double MaxSeconds = 24 * 3600;

struct RecordOptions {
    std::string path;
    std::optional<double> seconds;
    std::optional<int> channels;
    int rate = 44100;
    int bits = 16;
    std::optional<int> device;
    int buffers = 4;
    std::optional<int> bufferSize;
    bool force = false;
};

CLI::Validator SampleBits() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            const auto value = ParseWholeNumber(text);
            if (!value) return "'" + text + "' is not a whole number";
            if (*value != 8 && *value != 16 && *value != 24 && *value != 32)
                return text + "-bit samples are not supported (8, 16, 24 or 32)";
            return {};
        },
        "8|16|24|32");
}

// The recording file must not exist unless --force, and must be writable.
// Returns whether this call created it (an empty placeholder until the
// device starts), so that a failure can remove it again.
bool PrepareTarget(const RecordOptions& options) {
    const std::string& path = options.path;
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0) {
        if (S_ISDIR(status.st_mode)) throw CliError(path + " is a folder");
        if (!options.force) throw CliError(path + " already exists; use --force to replace it");
        UniqueFd file(::open(path.c_str(), O_WRONLY | O_CLOEXEC));
        if (!file) throw CliError("cannot write " + path + ": " + SystemReason(errno));
        return false;
    }
    UniqueFd file(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (!file) throw CliError("cannot write " + path + ": " + SystemReason(errno));
    return true;
}

// The file as the component completed it, cut to `limit` bytes of audio
// when the last buffer went past the length asked for. A file that holds
// less than was delivered (a full disk) is cut to what it holds.
std::uint64_t CheckAndTrim(const std::string& path, std::uint64_t delivered, std::uint64_t limit) {
    UniqueFd file(::open(path.c_str(), O_RDWR | O_CLOEXEC));
    if (!file)
        throw CliError("the recording was not written to " + path + ": " + SystemReason(errno));
    const WavLayout layout = ReadWavLayout(file.get(), path);
    if (layout.BytesPresent() < delivered) {
        const std::uint64_t kept = CompleteFromLength(file.get(), layout, path);
        throw CliError("only " + std::to_string(kept) + " of " + std::to_string(delivered) +
                       " recorded bytes reached " + path + " (is the disk full?)");
    }
    if (!layout.IsComplete() || layout.dataSize != delivered)
        throw CliError("the recording in " + path + " was not completed");
    if (delivered <= limit) return delivered;
    if (::ftruncate(file.get(), static_cast<off_t>(layout.dataOffset + limit)) != 0)
        throw CliError("cannot write " + path + ": " + SystemReason(errno));
    WriteWavSizes(file.get(), layout, static_cast<std::uint32_t>(limit), path);
    return limit;
}

void RunRecord(const RecordOptions& options) {
    const TSVDev device = ChooseDevice(Direction::input, options.device);
    PcmFormat format{.channels = 2, .rate = options.rate, .bits = options.bits};
    if (options.channels) {
        format.channels = *options.channels;
    } else if (const auto described = DescribeDevice(Direction::input, device)) {
        format.channels = std::clamp(described->channels, 1, 2);
    }
    const std::uint64_t frameBytes = static_cast<std::uint64_t>(format.BlockAlign());

    const std::uint64_t maxBytes = MaxRecordingBytes - MaxRecordingBytes % frameBytes;
    std::uint64_t limit = maxBytes;
    if (options.seconds) {
        const auto frames =
            static_cast<std::uint64_t>(std::llround(*options.seconds * format.rate));
        if (frames == 0) throw CliError("the duration is shorter than one frame");
        if (frames * frameBytes > maxBytes) {
            char most[32];
            std::snprintf(most, sizeof most, "%.0f", format.Seconds(maxBytes));
            throw CliError("a recording in " + format.Describe() + " can be at most " + most +
                           " seconds long");
        }
        limit = frames * frameBytes;
    }

    RecordPlan plan{
        .device = device,
        .format = format,
        .buffers = options.buffers,
        // About 50 ms per buffer, whole frames.
        .bufferSize = options.bufferSize.value_or(static_cast<int>(
            std::max<std::uint64_t>(16, format.BytesPerSecond() / 20 / frameBytes * frameBytes))),
        .fileName = options.path,
        .byteLimit = limit,
        .limitIsDuration = options.seconds.has_value(),
    };

    const bool created = PrepareTarget(options);
    // A file this call made that holds no audio (empty, or a bare header) is
    // no recording: it goes when the recording fails or is stopped at once.
    const auto removePlaceholder = [&] {
        struct stat status {};
        if (created && ::stat(options.path.c_str(), &status) == 0 && status.st_size <= 44)
            ::unlink(options.path.c_str());
    };
    InstallStopHandler();
    ProgressLine progress("recording");
    RecordOutcome outcome;
    try {
        outcome = Record(plan, {}, progress);
    } catch (const CliError&) {
        removePlaceholder();
        throw;
    }
    if (outcome.interrupted && outcome.bytes == 0) {
        removePlaceholder();
        throw Interrupted("recording stopped by Ctrl-C before any audio arrived");
    }

    const std::uint64_t kept = CheckAndTrim(options.path, outcome.bytes, limit);
    std::printf("recorded %.2f s (%s, %llu bytes, peak %.1f dBFS) from %s to %s%s\n",
                format.Seconds(kept), format.Describe().c_str(),
                static_cast<unsigned long long>(kept), ToDbfs(outcome.peakLevel),
                DeviceLabel(Direction::input, device).c_str(), options.path.c_str(),
                outcome.interrupted ? " (stopped by Ctrl-C)" : "");
    if (!options.seconds && !outcome.interrupted && kept >= maxBytes)
        std::printf("stopped at the largest size a WAV recording can have\n");
}

}  // namespace

void AddRecordCommand(CLI::App& app) {
    auto* command = app.add_subcommand("record", "Record from an input device into a WAV file");
    auto options = std::make_shared<RecordOptions>();
    command->add_option("FILE", options->path, "The WAV file to write")->required();
    command
        ->add_option("-d,--duration", options->seconds, "Seconds to record (default: until Ctrl-C)")
        ->check(SecondsUpTo(MaxSeconds));
    command
        ->add_option("-c,--channels", options->channels,
                     "Channels (default: 2, or 1 for a mono device)")
        ->check(WholeNumberIn(1, 32));
    command->add_option("-r,--rate", options->rate, "Samples per second")
        ->check(WholeNumberIn(1000, 768000))
        ->capture_default_str();
    command->add_option("-b,--bits", options->bits, "Bits per sample: 8, 16, 24 or 32")
        ->check(SampleBits())
        ->capture_default_str();
    AddDeviceOption(*command, options->device);
    command->add_option("--buffers", options->buffers, "Capture buffers queued at once")
        ->check(WholeNumberIn(1, 9))
        ->capture_default_str();
    command
        ->add_option("--buffer-size", options->bufferSize,
                     "Bytes per capture buffer (default: about 50 ms)")
        ->check(WholeNumberIn(16, 16 * 1024 * 1024));
    command->add_flag("-f,--force", options->force, "Replace FILE if it exists");
    command->callback([options] { RunRecord(*options); });
}
