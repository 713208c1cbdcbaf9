#include "tools/sorvan/CommonOptions.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "tools/sorvan/NumberChecks.h"

namespace {

constexpr int MaxDeviceNumber = 9999;

std::optional<double> ParsePercent(const std::string& text) {
    if (text.size() < 2 || text.back() != '%') return std::nullopt;
    double value = 0;
    const char* end = text.data() + text.size() - 1;
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || stop != end || std::isnan(value)) return std::nullopt;
    return value;
}

}  // namespace

void AddDeviceOption(CLI::App& command, std::optional<int>& device) {
    command
        .add_option("-D,--device", device,
                    "Device number (see 'sorvan devices'); default: the default device")
        ->check(WholeNumberIn(0, MaxDeviceNumber));
}

CLI::Validator VolumeValue() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            if (const auto percent = ParsePercent(text)) {
                if (*percent < 0 || *percent > 100) return text + " is out of range (0% to 100%)";
                return {};
            }
            if (const auto value = ParseWholeNumber(text)) {
                if (*value < 0 || *value > 0xFFFF)
                    return text + " is out of range (0 to 65535, or 0% to 100%)";
                return {};
            }
            return "'" + text + "' is not a volume (0 to 65535, or a percentage such as 50%)";
        },
        "VOLUME");
}

WORD ParseVolume(const std::string& text) {
    if (const auto percent = ParsePercent(text))
        return static_cast<WORD>(std::lround(*percent / 100.0 * 0xFFFF));
    return static_cast<WORD>(ParseWholeNumber(text).value_or(0));
}

std::string DescribeVolume(WORD volume) {
    char text[32];
    std::snprintf(text, sizeof text, "%u (%.0f%%)", unsigned{volume}, volume * 100.0 / 0xFFFF);
    return text;
}
