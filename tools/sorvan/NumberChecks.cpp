#include "tools/sorvan/NumberChecks.h"

#include <charconv>
#include <cmath>
#include <system_error>

namespace {

std::optional<double> ParseNumber(const std::string& text) {
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error == std::errc::result_out_of_range) return HUGE_VAL;
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

}  // namespace

std::optional<long long> ParseWholeNumber(const std::string& text) {
    long long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

CLI::Validator WholeNumberIn(long long min, long long max) {
    const std::string range = std::to_string(min) + " to " + std::to_string(max);
    return CLI::Validator(
        [min, max, range](std::string& text) -> std::string {
            if (const auto value = ParseWholeNumber(text)) {
                if (*value < min || *value > max) return text + " is out of range (" + range + ")";
                return {};
            }
            // A number too large for 64 bits, or not a whole number at all.
            if (const auto number = ParseNumber(text)) {
                if (std::isinf(*number) || std::abs(*number) > 1e18)
                    return text + " is out of range (" + range + ")";
                return "'" + text + "' is not a whole number";
            }
            return "'" + text + "' is not a number";
        },
        range);
}

CLI::Validator SecondsUpTo(double max) {
    char limit[32];
    std::snprintf(limit, sizeof limit, "%g", max);
    return CLI::Validator(
        [max, bound = std::string(limit)](std::string& text) -> std::string {
            const auto value = ParseNumber(text);
            if (!value || std::isnan(*value)) return "'" + text + "' is not a number of seconds";
            if (*value <= 0) return "the duration must be more than 0 seconds, not " + text;
            if (*value > max) return text + " seconds is too long (at most " + bound + ")";
            return {};
        },
        "SECONDS");
}
