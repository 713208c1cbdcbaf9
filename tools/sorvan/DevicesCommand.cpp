// sorvan devices: the input and output devices with what they can do, and
// the one the default device (the mapper) stands for.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <string>

#include "tools/sorvan/Commands.h"
#include "tools/sorvan/Devices.h"
#include "tools/sorvan/DriverInfo.h"

namespace {

// The standard formats as rates, widths and channel counts, from the
// WAVE_FORMAT_* bits: four bits per rate (mono 8, stereo 8, mono 16, stereo 16).
std::string DescribeFormats(DWORD bits) {
    static constexpr const char* Rates[] = {"11025", "22050", "44100", "48000", "96000"};
    std::string rates;
    bool eight = false, sixteen = false, mono = false, stereo = false;
    for (int rate = 0; rate < 5; ++rate) {
        const DWORD group = (bits >> (4 * rate)) & 0xF;
        if (group == 0) continue;
        rates += (rates.empty() ? "" : " ") + std::string(Rates[rate]);
        eight |= (group & 0x3) != 0;
        sixteen |= (group & 0xC) != 0;
        mono |= (group & 0x5) != 0;
        stereo |= (group & 0xA) != 0;
    }
    if (rates.empty()) return "no standard formats";
    std::string widths = eight && sixteen ? "8/16-bit" : eight ? "8-bit" : "16-bit";
    std::string layouts = mono && stereo ? "mono/stereo" : mono ? "mono" : "stereo";
    return rates + " Hz, " + widths + ", " + layouts;
}

std::string DescribeSupport(DWORD support) {
    if (support & WAVECAPS_LRVOLUME) return "volume (left/right)";
    if (support & WAVECAPS_VOLUME) return "volume";
    return "no volume control";
}

void List(Direction direction) {
    const auto devices = ListDevices(direction);
    const auto chosen = DefaultDeviceNumber(direction);
    std::printf("%s devices:\n", direction == Direction::input ? "Input" : "Output");
    if (devices.empty()) std::printf("  (none)\n");
    for (const auto& device : devices) {
        std::printf("  %d  %-32s %d ch  %s", device.number, ("\"" + device.name + "\"").c_str(),
                    device.channels, DescribeFormats(device.formats).c_str());
        if (direction == Direction::output)
            std::printf("  %s", DescribeSupport(device.support).c_str());
        std::printf("%s\n", chosen == device.number ? "  [default]" : "");
    }
}

}  // namespace

void AddDevicesCommand(CLI::App& app) {
    auto* command = app.add_subcommand("devices", "List the input and output devices");
    command->callback([] {
        std::printf("Audio driver: %s\n", DescribeDriver().c_str());
        List(Direction::input);
        List(Direction::output);
    });
}
