// sorvan play FILE: plays any file libsndfile reads through TSorvanOut, in a
// PCM format the device takes.
#include <CLI/CLI.hpp>

#include <unistd.h>

#include <cstdio>
#include <memory>

#include "components/SorvanOut.h"
#include "platform/wave/WaveLayer.h"
#include "tools/sorvan/CliError.h"
#include "tools/sorvan/GapsNote.h"
#include "tools/sorvan/Commands.h"
#include "tools/sorvan/CommonOptions.h"
#include "tools/sorvan/Devices.h"
#include "tools/sorvan/DriverInfo.h"
#include "tools/sorvan/Player.h"
#include "tools/sorvan/ProgressLine.h"
#include "tools/sorvan/SoundFileReader.h"
#include "tools/sorvan/StopSignal.h"

namespace {

struct PlayOptions {
    std::vector<std::string> paths;
    DeviceChoice device;
    std::optional<std::string> volume;
    bool quiet = false;
};

// The file's own format when the device takes it, else the same channels
// and rate with another sample width.
PcmFormat ChooseFormat(const SoundFileReader& reader, TSVDev device) {
    const std::string cannot =
        "cannot play " + reader.Path() + ": " + DeviceLabel(Direction::output, device);
    for (const PcmFormat& format : reader.CandidateFormats()) {
        const MMRESULT result = QueryFormat(Direction::output, device, format);
        if (result == MMSYSERR_NOERROR) return format;
        if (result != WAVERR_BADFORMAT)
            throw CliError(cannot + " " + DescribeOpenResult(result, format));
    }
    throw CliError(cannot + " does not take " + reader.NaturalFormat().Describe() +
                   " (nor at another sample width)");
}

// Sets the device's volume for the time of playback and puts the old one
// back, where streams have no volume of their own.
class VolumeForPlayback {
  public:
    VolumeForPlayback(TSVDev device, std::optional<std::string> value) {
        if (!value || sorvan::wave::streamsHaveOwnVolume()) return;
        out_ = std::make_unique<TSorvanOut>(nullptr);
        out_->SetWantedDev(device);
        if (!out_->GetCaps().Contains(ocVolume))
            throw CliError(DeviceLabel(Direction::output, device) + " has no volume control");
        previous_ = out_->GetVolume();
        out_->SetVolume(ParseVolume(*value));
    }
    ~VolumeForPlayback() {
        if (out_) out_->SetVolume(previous_);
    }
    VolumeForPlayback(const VolumeForPlayback&) = delete;
    VolumeForPlayback& operator=(const VolumeForPlayback&) = delete;

  private:
    std::unique_ptr<TSorvanOut> out_;
    WORD previous_ = 0;
};

void PrintWarnings(const SoundFileReader& reader) {
    for (const auto& warning : reader.Warnings())
        std::fprintf(stderr, "sorvan: warning: %s\n", warning.c_str());
}

void PlayFile(const std::string& path, TSVDev device, const PlayOptions& options) {
    SoundFileReader reader(path);
    // Known at once (a cut or unfinished file): said before playback starts.
    PrintWarnings(reader);
    const std::size_t warned = reader.Warnings().size();
    const PcmFormat format = ChooseFormat(reader, device);
    reader.SetOutputBits(format.bits);

    PlayPlan plan{.device = device, .format = format, .framesPerBlock = reader.FramesPerRead(0.05)};
    if (options.volume && sorvan::wave::streamsHaveOwnVolume()) plan.streamVolume = ParseVolume(*options.volume);
    if (reader.Frames()) plan.totalSeconds = static_cast<double>(*reader.Frames()) / format.rate;

    ProgressLine progress("playing", options.quiet);
    const PlayOutcome outcome = Play(
        plan, [&reader](std::span<std::byte> out) { return reader.Read(out); }, progress);
    for (std::size_t i = warned; i < reader.Warnings().size(); ++i)
        std::fprintf(stderr, "sorvan: warning: %s\n", reader.Warnings()[i].c_str());

    char summary[64];
    std::snprintf(summary, sizeof summary, "%.2f s", format.Seconds(outcome.bytes));
    if (outcome.interrupted)
        throw Interrupted("playback stopped by " + StopSignalName() + " after " +
                          std::string(summary) + " of " + reader.Path());
    if (options.quiet) {
        WarnOfGaps(outcome.gaps, static_cast<unsigned>(format.rate), "playback", "of silence");
        return;
    }
    const std::string gaps = GapsNote(outcome.gaps, static_cast<unsigned>(format.rate), "of silence");
    char details[256];
    std::snprintf(details, sizeof details, "%s, %s, peak %.1f dBFS%s%s", summary,
                  format.Describe().c_str(), ToDbfs(outcome.peakLevel), gaps.empty() ? "" : "; ",
                  gaps.c_str());
    const std::string head = "played " + reader.Path();
    const std::string line = ProgressLine::FitTerminal(
        {head + " (" + details + ") on " + DeviceLabel(Direction::output, device),
         head + " (" + details + ")", head + " (" + summary + ")"},
        STDOUT_FILENO);
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

void RunPlay(const PlayOptions& options) {
    const TSVDev device = ChooseDevice(Direction::output, options.device);
    VolumeForPlayback volume(device, options.volume);
    InstallStopHandler();
    for (const auto& path : options.paths) PlayFile(path, device, options);
}

}  // namespace

void AddPlayCommand(CLI::App& app) {
    auto* command =
        app.add_subcommand("play", "Play audio files (WAV, FLAC, Ogg, MP3 ...) on an output device");
    auto options = std::make_shared<PlayOptions>();
    command->add_option("FILE", options->paths, "The files to play, in order; - for stdin")
        ->required();
    AddDeviceOption(*command, options->device);
    command
        ->add_option("--volume", options->volume,
                     "Device volume while playing: a percentage (50 or 50%), or raw:0..65535")
        ->check(VolumeValue());
    command->add_flag("-q,--quiet", options->quiet, "No progress line and no summary");
    command->footer(
        "Examples:\n"
        "  sorvan play take.wav\n"
        "  sorvan play intro.flac song.ogg outro.wav   one after the other\n"
        "  sorvan play -D 1 --volume 50 take.wav       on device 1 at half volume\n"
        "  sorvan play -q -D plughw:0 take.flac        an ALSA device, no progress line\n"
        "  sox in.wav -t wav - | sorvan play -         from stdin");
    command->callback([options] { RunPlay(*options); });
}
