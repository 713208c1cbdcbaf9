// sorvan play FILE: plays any file libsndfile reads through TSorvanOut, in a
// PCM format the device takes.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>

#include "components/SorvanOut.h"
#include "tools/sorvan/CliError.h"
#include "tools/sorvan/Commands.h"
#include "tools/sorvan/CommonOptions.h"
#include "tools/sorvan/Devices.h"
#include "tools/sorvan/Player.h"
#include "tools/sorvan/ProgressLine.h"
#include "tools/sorvan/SimDiagnostics.h"
#include "tools/sorvan/SoundFileReader.h"
#include "tools/sorvan/StopSignal.h"

namespace {

struct PlayOptions {
    std::string path;
    std::optional<int> device;
    std::optional<std::string> volume;
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

// Sets the device's volume for the time of playback and puts the old one back.
class VolumeForPlayback {
  public:
    VolumeForPlayback(TSVDev device, std::optional<std::string> value) {
        if (!value) return;
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

void RunPlay(const PlayOptions& options) {
    SoundFileReader reader(options.path);
    const TSVDev device = ChooseDevice(Direction::output, options.device);
    const PcmFormat format = ChooseFormat(reader, device);
    reader.SetOutputBits(format.bits);

    PlayPlan plan{.device = device, .format = format};
    if (reader.Frames()) plan.totalSeconds = static_cast<double>(*reader.Frames()) / format.rate;

    VolumeForPlayback volume(device, options.volume);
    InstallStopHandler();
    ProgressLine progress("playing");
    const PlayOutcome outcome = Play(
        plan, [&reader](std::span<std::byte> out) { return reader.Read(out); }, progress);
    SavePlayedBytes(DeviceIndex(device));

    char summary[64];
    std::snprintf(summary, sizeof summary, "%.2f s", format.Seconds(outcome.bytes));
    if (outcome.interrupted)
        throw Interrupted("playback stopped by Ctrl-C after " + std::string(summary));
    std::printf("played %s (%s, %s, peak %.1f dBFS) on %s\n", options.path.c_str(), summary,
                format.Describe().c_str(), ToDbfs(outcome.peakLevel),
                DeviceLabel(Direction::output, device).c_str());
}

}  // namespace

void AddPlayCommand(CLI::App& app) {
    auto* command =
        app.add_subcommand("play", "Play an audio file (WAV, FLAC, Ogg, ...) on an output device");
    auto options = std::make_shared<PlayOptions>();
    command->add_option("FILE", options->path, "The file to play")->required();
    AddDeviceOption(*command, options->device);
    command
        ->add_option("--volume", options->volume,
                     "Device volume while playing: 0 to 65535, or a percentage")
        ->check(VolumeValue());
    command->callback([options] { RunPlay(*options); });
}
