// sorvan record FILE: records from an input device through TSorvanIn into a
// WAV file (or another type, or stdout), for a given time or until stopped.
#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdio>
#include <memory>

#include "components/WavFile.h"
#include "tools/sorvan/CliError.h"
#include "tools/sorvan/GapsNote.h"
#include "tools/sorvan/Commands.h"
#include "tools/sorvan/CommonOptions.h"
#include "tools/sorvan/Devices.h"
#include "tools/sorvan/DriverInfo.h"
#include "tools/sorvan/FormatNames.h"
#include "tools/sorvan/NumberChecks.h"
#include "tools/sorvan/ProgressLine.h"
#include "tools/sorvan/Recorder.h"
#include "tools/sorvan/RecordingOutput.h"
#include "tools/sorvan/StopSignal.h"

namespace {

constexpr double MaxSeconds = 24 * 3600;

struct RecordOptions {
    std::string path;
    std::optional<std::string> seconds;
    std::optional<std::string> maxFileTime;
    std::optional<int> channels;
    std::optional<std::string> rate;
    std::optional<int> bits;
    std::optional<std::string> sampleFormat;
    std::optional<std::string> type;
    DeviceChoice device;
    int buffers = 4;
    std::optional<int> bufferSize;
    bool force = false;
    bool quiet = false;
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

PcmFormat ChooseFormat(const RecordOptions& options, TSVDev device) {
    PcmFormat format{.channels = 2, .rate = 44100, .bits = 16};
    if (options.sampleFormat) {
        const NamedFormat named = FormatNamed(*options.sampleFormat);
        format.bits = named.bits;
        format.rate = named.rate.value_or(format.rate);
        if (named.channels) format.channels = *named.channels;
    }
    if (options.bits) format.bits = *options.bits;
    if (options.rate) format.rate = static_cast<int>(ParseRate(*options.rate).value_or(0));
    if (options.channels) {
        format.channels = *options.channels;
    } else if (options.sampleFormat && FormatNamed(*options.sampleFormat).channels) {
        // cd and dat are stereo.
    } else if (const auto described = DescribeDevice(Direction::input, device)) {
        format.channels = std::clamp(described->channels, 1, 2);
    }
    return format;
}

std::string Join(const std::vector<std::string>& names) {
    std::string joined;
    for (const auto& name : names) joined += (joined.empty() ? "" : ", ") + name;
    return joined;
}

void RunRecord(const RecordOptions& options) {
    AnnounceVirtualDevices(options.device.Chosen());
    const TSVDev device = ChooseDevice(Direction::input, options.device);
    const PcmFormat format = ChooseFormat(options, device);
    const auto frameBytes = static_cast<std::uint64_t>(format.BlockAlign());

    std::optional<std::uint64_t> limit;
    if (options.seconds) {
        const auto frames = static_cast<std::uint64_t>(
            std::llround(ParseDuration(*options.seconds).value_or(0) * format.rate));
        if (frames == 0) throw CliError("the duration is shorter than one frame");
        limit = frames * frameBytes;
    }
    std::optional<std::uint64_t> bytesPerFile;
    if (options.maxFileTime) {
        const auto frames = static_cast<std::uint64_t>(
            std::llround(ParseDuration(*options.maxFileTime).value_or(0) * format.rate));
        if (frames == 0) throw CliError("--max-file-time is shorter than one frame");
        bytesPerFile = frames * frameBytes;
    }
    const bool toStdout = options.path == "-";
    const FileType type = options.type ? TypeNamed(*options.type)
                          : toStdout   ? FileType::wav
                                       : TypeOfName(options.path);
    if (toStdout && type == FileType::wav && limit &&
        *limit > WavMaxDataBytes(static_cast<std::uint32_t>(frameBytes)))
        throw CliError("a WAV stream in " + format.Describe() + " can be at most " +
                       SecondsInWords(format.Seconds(WavMaxDataBytes(static_cast<std::uint32_t>(frameBytes)))) +
                       " long; record into a file, which goes on into numbered files");

    auto output = OpenRecordingOutput({.path = options.path,
                                       .type = type,
                                       .format = format,
                                       .replace = options.force,
                                       .bytesPerFile = bytesPerFile,
                                       .totalBytes = limit});
    RecordPlan plan{
        .device = device,
        .format = format,
        .buffers = options.buffers,
        // About 50 ms per buffer, whole frames.
        .bufferSize = options.bufferSize.value_or(static_cast<int>(
            std::max<std::uint64_t>(16, format.BytesPerSecond() / 20 / frameBytes * frameBytes))),
        .byteLimit = limit.value_or(0),
        .limitIsDuration = limit.has_value(),
    };

    InstallStopHandler();
    ProgressLine progress("recording", options.quiet);
    const RecordOutcome outcome =
        Record(plan, [&output](std::span<const std::byte> bytes) { output->Write(bytes); },
               progress);
    output->Finish();
    if (outcome.interrupted && outcome.bytes == 0)
        throw Interrupted("recording stopped by " + StopSignalName() +
                          " before any audio arrived");
    if (options.quiet) {
        WarnOfGaps(outcome.gaps, static_cast<unsigned>(format.rate), "recording", "lost");
        return;
    }

    const auto files = output->Files();
    // With the audio on stdout, the report goes where the progress line goes.
    std::FILE* report = toStdout ? stderr : stdout;
    char head[64];
    std::snprintf(head, sizeof head, "recorded %.2f s", format.Seconds(outcome.bytes));
    const std::string gaps = GapsNote(outcome.gaps, static_cast<unsigned>(format.rate), "lost");
    char details[256];
    std::snprintf(details, sizeof details, " (%s, %llu bytes, peak %.1f dBFS%s%s)",
                  format.Describe().c_str(), static_cast<unsigned long long>(outcome.bytes),
                  ToDbfs(outcome.peakLevel), gaps.empty() ? "" : "; ", gaps.c_str());
    std::string target = " to ";
    target.append(toStdout ? "stdout" : Join(files));
    if (files.size() > 1) target.append(" (").append(std::to_string(files.size())).append(" files)");
    std::string stop;
    if (outcome.interrupted) stop.append(" (stopped by ").append(StopSignalName()).append(")");
    const std::string from = " from " + DeviceLabel(Direction::input, device);
    const std::string line = ProgressLine::FitTerminal(
        {head + std::string(details) + from + target + stop, head + std::string(details) + target + stop,
         head + target + stop},
        fileno(report));
    std::fprintf(report, "%s\n", line.c_str());
}

}  // namespace

void AddRecordCommand(CLI::App& app) {
    auto* command = app.add_subcommand("record", "Record from an input device into a file");
    auto options = std::make_shared<RecordOptions>();
    command->add_option("FILE", options->path,
                        "The file to write: WAV, or FLAC, Ogg, AIFF, AU, CAF, W64 or raw by its "
                        "extension; - for stdout")
        ->required();
    command
        ->add_option("-d,--duration", options->seconds,
                     "How long to record: 90, 1:30, 5s, 250ms (default: until Ctrl-C)")
        ->check(SecondsUpTo(MaxSeconds));
    command
        ->add_option("-c,--channels", options->channels,
                     "Channels (default: 2, or 1 for a mono device)")
        ->check(WholeNumberIn(1, 32));
    command->add_option("-r,--rate", options->rate, "Samples per second: 44100 or 44.1k (default: 44100)")
        ->check(RateIn(1000, 768000));
    command->add_option("-b,--bits", options->bits, "Bits per sample: 8, 16, 24 or 32 (default: 16)")
        ->check(SampleBits());
    command->add_option("-f,--format", options->sampleFormat,
                        "Sample format as arecord names it: U8, S16_LE, S24_3LE, S32_LE, or cd "
                        "(16-bit, 44100 Hz, stereo) or dat (16-bit, 48000 Hz, stereo)");
    command->add_option("-t,--type", options->type,
                        "File type: wav, flac, ogg, aiff, au, caf, w64 or raw (default: from "
                        "FILE's extension, else wav)");
    AddDeviceOption(*command, options->device);
    command
        ->add_option("--max-file-time", options->maxFileTime,
                     "Go on in a new numbered file (take-02.wav ...) after this long; a WAV "
                     "file holds at most 4 GiB (about 6.7 hours of CD audio) and the recording "
                     "goes on into the next file by itself")
        ->check(SecondsUpTo(MaxSeconds));
    command->add_option("--buffers", options->buffers, "Capture buffers queued at once")
        ->check(WholeNumberIn(1, 9))
        ->capture_default_str();
    command
        ->add_option("--buffer-size", options->bufferSize,
                     "Bytes per capture buffer (default: about 50 ms)")
        ->check(WholeNumberIn(16, 16 * 1024 * 1024));
    command->add_flag("--force", options->force, "Replace FILE if it exists");
    command->add_flag("-q,--quiet", options->quiet, "No progress line and no summary");
    command->footer(
        "Examples:\n"
        "  sorvan record take.wav                         until Ctrl-C, 44100 Hz 16-bit\n"
        "  sorvan record -d 1:30 -f cd take.flac          90 seconds of CD audio as FLAC\n"
        "  sorvan record -r 48k -c 1 -d 250ms a.wav       a quarter second, mono\n"
        "  sorvan record -D plughw:1 -f S24_3LE -q a.wav  an ALSA device, 24-bit, quietly\n"
        "  sorvan record -t raw -f S16_LE -d 5s take.pcm  bare samples, no header\n"
        "  sorvan record --force take.wav                 replace take.wav\n"
        "  sorvan record --max-file-time 3600 long.wav    one file per hour\n"
        "  sorvan record -D 1 -f dat - | sox -t wav - out.mp3");
    command->callback([options] { RunRecord(*options); });
}
