#include "tools/sorvan/ProgressLine.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "tools/sorvan/PcmFormat.h"

namespace {

constexpr int MeterWidth = 20;
constexpr double MeterFloorDb = -60.0;

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

std::string Meter(double level) {
    const double db = ToDbfs(level);
    const double filled = std::clamp((db - MeterFloorDb) / -MeterFloorDb, 0.0, 1.0);
    const int bars = static_cast<int>(std::lround(filled * MeterWidth));
    std::string meter = "[" + std::string(bars, '#') + std::string(MeterWidth - bars, ' ') + "] ";
    char text[16];
    if (std::isinf(db))
        std::snprintf(text, sizeof text, " -inf dBFS");
    else
        std::snprintf(text, sizeof text, "%5.1f dBFS", db);
    return meter + text;
}

}  // namespace

ProgressLine::ProgressLine(std::string verb) : verb_(std::move(verb)), enabled_(isatty(2) != 0) {}

ProgressLine::~ProgressLine() {
    Clear();
}

std::string ProgressLine::Format(const std::string& verb, double elapsedSeconds,
                                 std::optional<double> totalSeconds, std::uint64_t bytes,
                                 double peakLevel) {
    std::string line = verb + " " + Clock(elapsedSeconds);
    if (totalSeconds)
        line +=
            " / " + Clock(*totalSeconds) + " (" + Clock(*totalSeconds - elapsedSeconds) + " left)";
    else
        line += " (Ctrl-C to stop)";
    return line + "  " + Bytes(bytes) + "  " + Meter(peakLevel);
}

void ProgressLine::Draw(double elapsedSeconds, std::optional<double> totalSeconds,
                        std::uint64_t bytes, double peakLevel) {
    if (!enabled_) return;
    const std::string line = Format(verb_, elapsedSeconds, totalSeconds, bytes, peakLevel);
    std::fprintf(stderr, "\r%s\033[K", line.c_str());
    std::fflush(stderr);
    drawn_ = true;
}

void ProgressLine::Clear() {
    if (!drawn_) return;
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
    drawn_ = false;
}
