// sorvan devices: the input and output devices with what they can do, and
// the one the default device (the mapper) stands for.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "platform/wave/WaveLayer.h"
#include "tools/sorvan/Commands.h"
#include "tools/sorvan/DeviceWatcher.h"
#include "tools/sorvan/Devices.h"
#include "tools/sorvan/DriverInfo.h"

namespace {

constexpr int ProbeRates[] = {8000,  11025, 16000, 22050,  32000, 44100,
                               48000, 88200, 96000, 176400, 192000};
constexpr int ProbeBits[] = {8, 16, 24, 32};

// What the device really takes, asked format by format without opening it:
// the rates at its most channels, the sample widths at its lowest rate, and
// the fewest channels it takes there.
std::string DescribeFormats(Direction direction, const DeviceSummary& device) {
    const auto takes = [&](int channels, int rate, int bits) {
        return DeviceNumberTakes(direction, device.number,
                                 {.channels = channels, .rate = rate, .bits = bits});
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
    std::vector<int> widths;
    for (const int bits : ProbeBits)
        if (takes(channels, rates.front(), bits)) widths.push_back(bits);
    // Taken by another program since the first question.
    if (widths.empty()) return "(formats unknown while busy)";
    // Counted up from one: a converting PCM may offer thousands of channels.
    int fewest = 1;
    while (fewest < channels && !takes(fewest, rates.front(), widths.front())) ++fewest;
    std::string widthList;
    for (const int bits : widths)
        widthList += (widthList.empty() ? "" : "/") + std::to_string(bits);
    const auto range = [](int low, int high) {
        return low == high ? std::to_string(low) : std::to_string(low) + "-" + std::to_string(high);
    };
    return range(fewest, channels) + " ch, " + range(rates.front(), rates.back()) + " Hz, " +
           widthList + "-bit";
}

std::string DescribeSupport(DWORD support) {
    if (support & WAVECAPS_LRVOLUME) return "volume (left/right)";
    if (support & WAVECAPS_VOLUME) return "volume";
    return "no volume control";
}

// One line of the list: number, name, formats, volume control (outputs
// only) and the marks [busy] and [default].
std::vector<std::string> RowFor(Direction direction, const DeviceSummary& device,
                                std::optional<int> chosen) {
    std::vector<std::string> row{std::to_string(device.number),
                                 "\"" + device.name + "\"" + (device.server.empty() ? "" : " on " + device.server)};
    // A held device cannot be asked what it takes: every query would fail.
    const bool busy = IsBusy(direction, device.number);
    row.push_back(busy ? "(formats unknown while busy)" : DescribeFormats(direction, device));
    if (direction == Direction::output) row.push_back(DescribeSupport(device.support));
    std::string marks = busy ? "[busy]" : "";
    if (chosen == device.number) marks += std::string(marks.empty() ? "" : "  ") + "[default]";
    row.push_back(marks);
    return row;
}

// Each column as wide as its widest cell, the numbers to the right.
void PrintAligned(const std::vector<std::vector<std::string>>& rows) {
    std::vector<std::size_t> widths;
    for (const auto& row : rows) {
        widths.resize(std::max(widths.size(), row.size()));
        for (std::size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], row[i].size());
    }
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i) {
            const std::string padding(widths[i] - row[i].size(), ' ');
            line += "  ";
            line += i == 0 ? padding + row[i] : row[i] + padding;
        }
        line.erase(line.find_last_not_of(' ') + 1);
        std::printf("%s\n", line.c_str());
    }
}

// A driver may leave out a "default" that does not open: a busy one must
// still be seen as busy, not as missing. Whether there was one to show.
bool PrintDefaultTrouble(Direction direction, const std::vector<DeviceSummary>& devices,
                         std::optional<int> chosen) {
    const std::string trouble = sorvan::wave::whyNoDefault(direction);
    if (trouble.empty()) return false;
    if (devices.empty())
        std::printf("  (none; %s)\n", trouble.c_str());
    else
        std::printf("  (%s, so device %d stands in for it)\n", trouble.c_str(), chosen.value_or(0));
    return true;
}

void List(Direction direction) {
    const auto devices = ListDevices(direction);
    const auto chosen = DefaultDeviceNumber(direction);
    std::printf("%s devices:\n", direction == Direction::input ? "Input" : "Output");
    const bool explained = PrintDefaultTrouble(direction, devices, chosen);
    if (devices.empty()) {
        if (!explained) std::printf("  (none)\n");
        return;
    }
    std::vector<std::vector<std::string>> rows;
    for (const auto& device : devices) rows.push_back(RowFor(direction, device, chosen));
    PrintAligned(rows);
}

}  // namespace

void AddDevicesCommand(CLI::App& app) {
    auto* command = app.add_subcommand("devices", "List the input and output devices");
    command->footer(
        "Each device is listed with its number and name (either goes to -D), the channels,\n"
        "rates and sample widths it takes, its volume control, and whether another program\n"
        "holds it. Examples:\n"
        "  sorvan devices\n"
        "  SORVAN_AUDIO=alsa sorvan devices     the ALSA devices only, never the virtual ones\n"
        "  sorvan devices --watch               again whenever a headset is plugged in or out");
    static bool watch = false;
    command->add_flag("--watch", watch,
                      "List again whenever a device comes or goes or a default changes, until "
                      "Ctrl-C");
    command->callback([] {
        const auto listAll = [] {
            std::printf("Audio driver: %s\n", DescribeDriver().c_str());
            List(Direction::input);
            List(Direction::output);
        };
        if (watch)
            WatchDevices(listAll);
        else
            listAll();
    });
}
