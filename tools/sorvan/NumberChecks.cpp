#include "tools/sorvan/NumberChecks.h"

#include <charconv>
#include <climits>
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

std::optional<double> ParseDuration(const std::string& text) {
    std::string number = text;
    double unit = 1;
    if (number.ends_with("ms")) {
        number.resize(number.size() - 2);
        unit = 0.001;
    } else if (number.ends_with("s")) {
        number.pop_back();
    }
    // "h:m:s" and "m:s": every part but the last a whole number.
    double seconds = 0;
    std::size_t colon = 0;
    int parts = 0;
    while ((colon = number.find(':')) != std::string::npos) {
        const auto whole = ParseWholeNumber(number.substr(0, colon));
        if (!whole || *whole < 0 || unit != 1 || ++parts > 2) return std::nullopt;
        seconds = seconds * 60 + static_cast<double>(*whole);
        number.erase(0, colon + 1);
    }
    const auto last = ParseNumber(number);
    if (!last || std::isnan(*last)) return std::nullopt;
    if (parts > 0 && (*last < 0 || *last >= 60)) return std::nullopt;
    return seconds * 60 + *last * unit;
}

std::string SecondsInWords(double seconds) {
    char text[64];
    std::snprintf(text, sizeof text, "%.2f", seconds);
    std::string number = text;
    number.erase(number.find_last_not_of('0') + 1);
    if (number.ends_with('.')) number.pop_back();
    if (number == "-0") number = "0";
    return number + (number == "1" ? " second" : " seconds");
}

CLI::Validator SecondsUpTo(double max) {
    return CLI::Validator(
        [max, bound = SecondsInWords(max)](std::string& text) -> std::string {
            const auto value = ParseDuration(text);
            if (!value)
                return "'" + text + "' is not a duration (such as 90, 1:30, 5s or 250ms)";
            if (*value <= 0) return "the duration must be more than 0 seconds, not " + text;
            if (*value > max) return text + " is too long (at most " + bound + ")";
            return {};
        },
        "DURATION");
}

std::optional<long long> ParseRate(const std::string& text) {
    const bool kilo = text.ends_with('k') || text.ends_with('K');
    const auto value = ParseNumber(kilo ? text.substr(0, text.size() - 1) : text);
    if (!value || std::isnan(*value)) return std::nullopt;
    const double hertz = *value * (kilo ? 1000 : 1);
    if (std::abs(hertz) > 1e18) return hertz > 0 ? LLONG_MAX : LLONG_MIN;
    if (hertz != std::floor(hertz)) return std::nullopt;
    return static_cast<long long>(hertz);
}

CLI::Validator RateIn(long long min, long long max) {
    const std::string range = std::to_string(min) + " to " + std::to_string(max) + " Hz";
    return CLI::Validator(
        [min, max, range](std::string& text) -> std::string {
            const auto value = ParseRate(text);
            if (!value) {
                if (ParseNumber(text.ends_with('k') ? text.substr(0, text.size() - 1) : text))
                    return "'" + text + "' is not a whole number of Hz";
                return "'" + text + "' is not a rate (such as 44100 or 44.1k)";
            }
            if (*value < min || *value > max) return text + " is out of range (" + range + ")";
            return {};
        },
        "RATE");
}
