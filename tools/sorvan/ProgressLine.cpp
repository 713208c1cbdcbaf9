#include "tools/sorvan/ProgressLine.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tools/sorvan/PcmFormat.h"

namespace {

constexpr int MeterWidth = 20;
constexpr double MeterFloorDb = -60.0;
constexpr int FallbackColumns = 80;

std::string Clock(double seconds) {
    const long tenths = std::lround(std::max(0.0, seconds) * 10);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld.%ld", tenths / 600, tenths / 10 % 60, tenths % 10);
    return text;
}

std::string Bytes(std::uint64_t bytes) {
    char text[32];
    if (bytes < 1024 * 1024)
        std::snprintf(text, sizeof text, "%.1f KiB", bytes / 1024.0);
    else
        std::snprintf(text, sizeof text, "%.1f MiB", bytes / (1024.0 * 1024.0));
    return text;
}

std::string Level(double level) {
    const double db = ToDbfs(level);
    char text[16];
    if (std::isinf(db))
        std::snprintf(text, sizeof text, " -inf dBFS");
    else
        std::snprintf(text, sizeof text, "%5.1f dBFS", db);
    return text;
}

// Built by appending: GCC 12 misreads chains of string + string at -O3
// as overlapping copies (-Werror=restrict).
std::string Bar(double level) {
    const double filled = std::clamp((ToDbfs(level) - MeterFloorDb) / -MeterFloorDb, 0.0, 1.0);
    const auto bars = static_cast<std::size_t>(std::lround(filled * MeterWidth));
    std::string bar(1, '[');
    bar.append(bars, '#');
    bar.append(MeterWidth - bars, ' ');
    bar.append("] ");
    return bar;
}

std::string Joined(std::initializer_list<std::string> parts) {
    std::string line;
    for (const auto& part : parts) {
        if (part.empty()) continue;
        if (!line.empty()) line.append("  ");
        line.append(part);
    }
    return line;
}

bool TerminalTakesEscapes() {
    const char* term = std::getenv("TERM");
    return term && *term && std::strcmp(term, "dumb") != 0;
}

}  // namespace

ProgressLine::ProgressLine(std::string verb, bool quiet)
    : verb_(std::move(verb)), enabled_(!quiet && isatty(2) != 0), escapes_(TerminalTakesEscapes()) {}

ProgressLine::~ProgressLine() {
    Clear();
}

std::string ProgressLine::Format(const std::string& verb, double elapsedSeconds,
                                 std::optional<double> totalSeconds, std::uint64_t bytes,
                                 double peakLevel, int columns) {
    std::string time = verb;
    time.append(" ").append(Clock(elapsedSeconds));
    std::string total;
    std::string left;
    if (totalSeconds) {
        total.append(" / ").append(Clock(*totalSeconds));
        left.append(" (").append(Clock(*totalSeconds - elapsedSeconds)).append(" left)");
    } else {
        left = " (Ctrl-C to stop)";
    }
    const std::string size = Bytes(bytes);
    const std::string level = Level(peakLevel);
    std::string meter = Bar(peakLevel);
    meter.append(level);
    std::string timed = time;
    timed.append(total);
    std::string timedLeft = timed;
    timedLeft.append(left);
    // From the fullest line to the barest, the first that fits the terminal
    // (one column stays free, so that the cursor never wraps).
    const std::string candidates[] = {
        Joined({timedLeft, size, meter}), Joined({timedLeft, size, level}),
        Joined({timed, size, level}),     Joined({timed, level}),
        Joined({time, level}),            time,
    };
    for (const auto& line : candidates)
        if (static_cast<int>(line.size()) < columns) return line;
    return time.substr(0, static_cast<std::size_t>(std::max(columns - 1, 0)));
}

int ProgressLine::Columns(int fd) {
    winsize size{};
    if (::ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    if (const char* columns = std::getenv("COLUMNS"); columns && std::atoi(columns) > 0)
        return std::atoi(columns);
    return FallbackColumns;
}

std::string ProgressLine::FitTerminal(const std::vector<std::string>& variants, int fd) {
    if (variants.empty()) return {};
    if (!isatty(fd)) return variants.front();
    const int columns = Columns(fd);
    for (const auto& variant : variants)
        if (static_cast<int>(variant.size()) < columns) return variant;
    return variants.back();
}

void ProgressLine::Draw(double elapsedSeconds, std::optional<double> totalSeconds,
                        std::uint64_t bytes, double peakLevel) {
    if (!enabled_) return;
    const std::string line =
        Format(verb_, elapsedSeconds, totalSeconds, bytes, peakLevel, Columns(STDERR_FILENO));
    // Without escape codes the rest of a longer earlier line is covered with spaces.
    const std::size_t cover = escapes_ || drawnWidth_ <= line.size() ? 0 : drawnWidth_ - line.size();
    std::fprintf(stderr, "\r%s%s%s", line.c_str(), std::string(cover, ' ').c_str(),
                 escapes_ ? "\033[K" : "");
    std::fflush(stderr);
    drawnWidth_ = line.size() + cover;
    drawn_ = true;
}

void ProgressLine::Clear() {
    if (!drawn_) return;
    if (escapes_)
        std::fprintf(stderr, "\r\033[K");
    else
        std::fprintf(stderr, "\r%s\r", std::string(drawnWidth_, ' ').c_str());
    std::fflush(stderr);
    drawn_ = false;
    drawnWidth_ = 0;
}
