#include "tools/sorvan/CommonOptions.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "tools/sorvan/NumberChecks.h"

namespace {

// "50" and "50%" are percentages; "raw:32768" is the device's own scale.
std::optional<double> ParsePercent(std::string text) {
    if (text.ends_with('%')) text.pop_back();
    if (text.empty()) return std::nullopt;
    double value = 0;
    const auto [stop, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || stop != text.data() + text.size() || std::isnan(value))
        return std::nullopt;
    return value;
}

constexpr std::string_view RawPrefix = "raw:";

}  // namespace

void AddDeviceOption(CLI::App& command, DeviceChoice& device) {
    command.add_option("-D,--device", device.text,
                       "Device number or name as 'sorvan devices' lists them (e.g. 1, default, "
                       "hw:0,0), or any ALSA name such as plughw:1 or one 'aplay -L' lists; "
                       "default: the default device");
}

CLI::Validator VolumeValue() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            if (text.starts_with(RawPrefix)) {
                const auto value = ParseWholeNumber(text.substr(RawPrefix.size()));
                if (!value) return "'" + text + "' is not a raw volume (raw:0 to raw:65535)";
                if (*value < 0 || *value > 0xFFFF)
                    return text + " is out of range (raw:0 to raw:65535)";
                return {};
            }
            if (const auto percent = ParsePercent(text)) {
                if (*percent < 0 || *percent > 100)
                    return text + " is out of range (0 to 100 %, or raw:0 to raw:65535)";
                return {};
            }
            return "'" + text + "' is not a volume (a percentage such as 50, or raw:32768)";
        },
        "VOLUME");
}

WORD ParseVolume(const std::string& text) {
    if (text.starts_with(RawPrefix))
        return static_cast<WORD>(ParseWholeNumber(text.substr(RawPrefix.size())).value_or(0));
    return static_cast<WORD>(std::lround(ParsePercent(text).value_or(0) / 100.0 * 0xFFFF));
}

std::string DescribeVolume(WORD volume) {
    char text[32];
    std::snprintf(text, sizeof text, "%.0f %% (raw %u)", volume * 100.0 / 0xFFFF, unsigned{volume});
    return text;
}
