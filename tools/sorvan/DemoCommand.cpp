// sorvan demo: records a few seconds from the default input device, plays
// them back on the default output device, and says what it did. Without
// sound hardware it runs on the built-in virtual devices and says so.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "tools/sorvan/CliError.h"
#include "tools/sorvan/Commands.h"
#include "tools/sorvan/Devices.h"
#include "tools/sorvan/DriverInfo.h"
#include "tools/sorvan/NumberChecks.h"
#include "tools/sorvan/Player.h"
#include "tools/sorvan/ProgressLine.h"
#include "tools/sorvan/Recorder.h"
#include "tools/sorvan/StopSignal.h"

namespace {

// The first format, best first, that both default devices take.
PcmFormat CommonFormat() {
    static constexpr PcmFormat Candidates[] = {
        {.channels = 2, .rate = 44100, .bits = 16}, {.channels = 2, .rate = 48000, .bits = 16},
        {.channels = 1, .rate = 44100, .bits = 16}, {.channels = 1, .rate = 48000, .bits = 16},
        {.channels = 1, .rate = 22050, .bits = 16}, {.channels = 1, .rate = 11025, .bits = 8},
    };
    for (const PcmFormat& format : Candidates)
        if (DeviceTakes(Direction::input, wvMapper, format) &&
            DeviceTakes(Direction::output, wvMapper, format))
            return format;
    throw CliError("the default input and output devices have no common format");
}

void RunDemo(double seconds) {
    ChooseDevice(Direction::input, DeviceChoice{});
    ChooseDevice(Direction::output, DeviceChoice{});
    const bool virtualDevices = OnVirtualDevices();
    const std::string input = DeviceLabel(Direction::input, wvMapper);
    const std::string output = DeviceLabel(Direction::output, wvMapper);
    const PcmFormat format = CommonFormat();
    const auto limit = static_cast<std::uint64_t>(seconds * format.rate) * format.BlockAlign();

    InstallStopHandler();
    if (virtualDevices)
        std::printf(
            "Running on the built-in virtual devices (SORVAN_AUDIO=sim).\n");
    std::printf("Recording %s from the %s, %s ...\n", SecondsInWords(seconds).c_str(), input.c_str(),
                format.Describe().c_str());
    std::fflush(stdout);

    std::vector<std::byte> recorded;
    recorded.reserve(limit);
    ProgressLine recording("recording");
    const RecordOutcome captured = Record(
        {.device = wvMapper,
         .format = format,
         .bufferSize = static_cast<int>(format.BytesPerSecond() / 20 / format.BlockAlign() *
                                        format.BlockAlign()),
         .byteLimit = limit,
         .limitIsDuration = true},
        [&recorded](std::span<const std::byte> bytes) {
            recorded.insert(recorded.end(), bytes.begin(), bytes.end());
        },
        recording);
    if (captured.interrupted) throw Interrupted("demo stopped by Ctrl-C while recording");
    recorded.resize(std::min<std::size_t>(recorded.size(), limit));

    std::printf("Playing them back on the %s ...\n", output.c_str());
    std::fflush(stdout);
    std::size_t next = 0;
    ProgressLine playing("playing");
    const PlayOutcome played = Play(
        {.device = wvMapper, .format = format, .totalSeconds = format.Seconds(recorded.size())},
        [&](std::span<std::byte> out) {
            const std::size_t size = std::min(out.size(), recorded.size() - next);
            std::copy_n(recorded.begin() + next, size, out.begin());
            next += size;
            return size;
        },
        playing);
    if (played.interrupted) throw Interrupted("demo stopped by Ctrl-C while playing");

    std::printf(
        "Done: recorded %.2f s (peak %.1f dBFS) with TSorvanIn and played %.2f s back with "
        "TSorvanOut%s.\n",
        format.Seconds(recorded.size()), ToDbfs(captured.peakLevel), format.Seconds(played.bytes),
        virtualDevices ? ", on virtual devices (the input is a 440 Hz test tone)" : "");
}

}  // namespace

void AddDemoCommand(CLI::App& app) {
    auto* command = app.add_subcommand(
        "demo",
        "Record a few seconds from the default input and play them back on the default output");
    auto duration = std::make_shared<std::string>("3");
    command->add_option("-d,--duration", *duration, "How long to record: 3, 2.5s, 500ms")
        ->check(SecondsUpTo(60))
        ->capture_default_str();
    command->footer("Examples:\n  sorvan demo\n  sorvan demo -d 500ms");
    command->callback([duration] { RunDemo(ParseDuration(*duration).value_or(3.0)); });
}
