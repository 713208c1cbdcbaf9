// sorvan devices: the input and output devices with what they can do, and
// the one the default device (the mapper) stands for.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <algorithm>
#include <string>
#include <vector>

#include "tools/sorvan/Commands.h"
#include "tools/sorvan/Devices.h"
#include "tools/sorvan/DriverInfo.h"

namespace {

constexpr int ProbeRates[] = {8000,  11025, 16000, 22050,  32000, 44100,
                               48000, 88200, 96000, 176400, 192000};
constexpr int ProbeBits[] = {8, 16, 24, 32};

// What the device really takes, asked format by format without opening it:
// the rates and sample widths at its own channel count, and the channel
// counts at its first rate.
std::string DescribeFormats(Direction direction, const DeviceSummary& device) {
    // Past device 9 only the default device can be asked (see DeviceRedirect.h).
    if (device.number > 9) return std::to_string(device.channels) + " ch";
    const auto dev = static_cast<TSVDev>(wvDevice0 + device.number);
    const auto takes = [&](int channels, int rate, int bits) {
        return DeviceTakes(direction, dev, {.channels = channels, .rate = rate, .bits = bits});
    };
    const int channels = std::max(1, device.channels);
    std::vector<int> rates;
    for (const int rate : ProbeRates)
        for (const int bits : ProbeBits)
            if (takes(channels, rate, bits)) {
                rates.push_back(rate);
                break;
            }
    if (rates.empty()) return std::to_string(channels) + " ch, no common format";
    std::string widths;
    for (const int bits : ProbeBits)
        if (takes(channels, rates.front(), bits))
            widths += (widths.empty() ? "" : "/") + std::to_string(bits);
    int fewest = channels;
    while (fewest > 1 && takes(fewest - 1, rates.front(), 16)) --fewest;
    const std::string channelRange =
        fewest == channels ? std::to_string(channels) : std::to_string(fewest) + "-" + std::to_string(channels);
    const std::string rateRange = rates.size() == 1 ? std::to_string(rates.front())
                                                    : std::to_string(rates.front()) + "-" +
                                                          std::to_string(rates.back());
    return channelRange + " ch, " + rateRange + " Hz, " + widths + "-bit";
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
    const int numberWidth = static_cast<int>(std::to_string(devices.empty() ? 0 : devices.back().number).size());
    std::size_t nameWidth = 0;
    for (const auto& device : devices) nameWidth = std::max(nameWidth, device.name.size() + 2);
    for (const auto& device : devices) {
        std::printf("  %*d  %-*s  %s", numberWidth, device.number, static_cast<int>(nameWidth),
                    ("\"" + device.name + "\"").c_str(), DescribeFormats(direction, device).c_str());
        if (direction == Direction::output)
            std::printf(", %s", DescribeSupport(device.support).c_str());
        if (device.number <= 9 &&
            IsBusy(direction, static_cast<TSVDev>(wvDevice0 + device.number)))
            std::printf("  [busy]");
        std::printf("%s\n", chosen == device.number ? "  [default]" : "");
    }
}

}  // namespace

void AddDevicesCommand(CLI::App& app) {
    auto* command = app.add_subcommand("devices", "List the input and output devices");
    command->footer(
        "Each device is listed with its number and name (either goes to -D), the channels,\n"
        "rates and sample widths it takes, its volume control, and whether another program\n"
        "holds it. Examples:\n"
        "  sorvan devices\n"
        "  SORVAN_AUDIO=alsa sorvan devices     the ALSA devices only, never the virtual ones");
    command->callback([] {
        std::printf("Audio driver: %s\n", DescribeDriver().c_str());
        List(Direction::input);
        List(Direction::output);
    });
}
