// sorvan volume [VALUE]: reads or sets an output device's volume through the
// volume property of TSorvanOut (both channels alike).
#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>

#include "components/SorvanOut.h"
#include "tools/sorvan/CliError.h"
#include "tools/sorvan/Commands.h"
#include "tools/sorvan/CommonOptions.h"
#include "tools/sorvan/Devices.h"
#include "tools/sorvan/DriverInfo.h"

namespace {

struct VolumeOptions {
    DeviceChoice device;
    std::optional<std::string> value;
};

void RunVolume(const VolumeOptions& options) {
    const TSVDev device = ChooseDevice(Direction::output, options.device);
    const std::string label = DeviceLabel(Direction::output, device);
    auto out = std::make_unique<TSorvanOut>(nullptr);
    out->SetWantedDev(device);
    // The component does not report a failed volume call, so ask first.
    if (!out->GetCaps().Contains(ocVolume)) throw CliError(label + " has no volume control");
    if (options.value) {
        const WORD wanted = ParseVolume(*options.value);
        out->SetVolume(wanted);
        if (out->GetVolume() != wanted)
            throw CliError(label + " did not take the volume " + DescribeVolume(wanted));
    }
    std::printf("%s: volume %s\n", label.c_str(), DescribeVolume(out->GetVolume()).c_str());
    if (!options.value || VolumeOutlivesProgram(device)) return;
    if (OnVirtualDevices())
        std::printf("(the virtual devices forget it when this program ends)\n");
    else
        std::printf("(this device has no mixer: sorvan scales the samples it plays itself, so the "
                    "setting is gone when this program ends; use 'sorvan play --volume' instead)\n");
}

}  // namespace

void AddVolumeCommand(CLI::App& app) {
    auto* command = app.add_subcommand("volume", "Read or set an output device's volume");
    auto options = std::make_shared<VolumeOptions>();
    AddDeviceOption(*command, options->device);
    command
        ->add_option("VALUE", options->value,
                     "New volume: a percentage (50 or 50%), or raw:0 to raw:65535")
        ->check(VolumeValue());
    command->footer(
        "Examples:\n"
        "  sorvan volume              the default output device's volume\n"
        "  sorvan volume 50           half volume\n"
        "  sorvan volume -D 1 raw:40000");
    command->callback([options] { RunVolume(*options); });
}
