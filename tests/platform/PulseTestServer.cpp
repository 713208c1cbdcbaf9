#include "PulseTestServer.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <numbers>
#include <sstream>

#include "platform/wave/Driver.h"

namespace sorvan::pulsetest {

namespace {

namespace fs = std::filesystem;

std::optional<fs::path> fixtureDir() {
    const char* dir = std::getenv("SORVAN_PULSE_TEST_SERVER");
    if (dir == nullptr || *dir == '\0') return std::nullopt;
    return fs::path(dir);
}

std::string firstLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

// The script's env file: "export NAME=VALUE NAME=VALUE" lines.
bool applyEnvFile(const fs::path& file) {
    std::ifstream in(file);
    if (!in) return false;
    unsetenv("PULSE_SERVER");
    std::string word;
    while (in >> word) {
        const auto equals = word.find('=');
        if (word == "export" || equals == std::string::npos) continue;
        setenv(word.substr(0, equals).c_str(), word.substr(equals + 1).c_str(), 1);
    }
    return true;
}

int runQuietly(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str());
}

}  // namespace

std::optional<std::string> unavailable() {
    const auto dir = fixtureDir();
    if (!dir) {
        return "SORVAN_PULSE_TEST_SERVER is not set: run these tests through CTest, whose "
               "fixture starts the sound server";
    }
    if (fs::exists(*dir / "unavailable")) return firstLine(*dir / "unavailable");
    if (!fs::exists(*dir / "env.sh")) return "the sound server script left no env.sh in " + dir->string();
    return std::nullopt;
}

bool useFixtureServer() {
    const auto dir = fixtureDir();
    return dir && applyEnvFile(*dir / "env.sh") && wave::selectDriver("pulse");
}

std::string pactl(const std::string& arguments) {
    std::string out;
    if (FILE* pipe = popen(("pactl " + arguments + " 2>/dev/null").c_str(), "r")) {
        char chunk[4096];
        while (const std::size_t got = std::fread(chunk, 1, sizeof chunk, pipe)) out.append(chunk, got);
        pclose(pipe);
    }
    return out;
}

std::string loadNullSink(const std::string& name) {
    std::string module = pactl("load-module module-null-sink sink_name=" + name +
                               " sink_properties=device.description=" + name);
    while (!module.empty() && std::isspace(static_cast<unsigned char>(module.back()))) module.pop_back();
    return module;
}

void unloadModule(const std::string& module) {
    runQuietly("pactl unload-module " + module);
}

void restoreLevels() {
    std::istringstream sinks(pactl("list short sinks"));
    std::string number;
    std::string sink;
    std::string rest;
    while (sinks >> number >> sink && std::getline(sinks, rest)) pactl("set-sink-volume " + sink + " 100%");
    WAVEFORMATEX format{.wFormatTag = WAVE_FORMAT_PCM,
                        .nChannels = 2,
                        .nSamplesPerSec = 48000,
                        .nAvgBytesPerSec = 192000,
                        .nBlockAlign = 4,
                        .wBitsPerSample = 16,
                        .cbSize = 0};
    HWAVEOUT out = nullptr;
    if (waveOutOpen(&out, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR) return;
    waveOutSetVolume(out, 0xFFFF'FFFF);
    waveOutClose(out);
}

std::string sinkNumber(const std::string& name) {
    std::istringstream lines(pactl("list short sinks"));
    std::string number;
    std::string sink;
    std::string rest;
    while (lines >> number >> sink && std::getline(lines, rest)) {
        if (sink == name) return number;
    }
    return {};
}

std::vector<SinkInput> ourSinkInputs() {
    std::vector<SinkInput> ours;
    std::istringstream lines(pactl("list sink-inputs"));
    SinkInput current;
    std::string line;
    while (std::getline(lines, line)) {
        const auto text = line.substr(std::min(line.find_first_not_of(" \t"), line.size()));
        if (text.rfind("Sink Input #", 0) == 0) current = {};
        if (text.rfind("Sink: ", 0) == 0) current.sink = text.substr(6);
        if (text.rfind("Volume: ", 0) == 0) current.volume = text;
        if (text == "application.name = \"Sorvan\"") ours.push_back(current);
    }
    return ours;
}

PrivateServer::PrivateServer() {
    static std::atomic<int> made{0};
    dir_ = fs::temp_directory_path() /
           ("sorvan-pulse-" + std::to_string(getpid()) + "-" + std::to_string(made++));
    const auto fixture = fixtureDir();
    if (fixture) script_ = firstLine(*fixture / "script");
    if (script_.empty()) return;
    fs::create_directories(dir_);
    const std::string kind = firstLine(*fixture / "kind");
    started_ = runQuietly("bash '" + script_ + "' up '" + dir_.string() + "' " + kind) == 0 &&
               fs::exists(dir_ / "env.sh");
}

PrivateServer::~PrivateServer() {
    if (!script_.empty()) runQuietly("bash '" + script_ + "' down '" + dir_.string() + "'");
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
}

bool PrivateServer::use() const {
    return applyEnvFile(dir_ / "env.sh") && wave::selectDriver("pulse");
}

bool PrivateServer::kill() const {
    bool killed = false;
    for (const auto& entry : fs::directory_iterator(dir_)) {
        const std::string name = entry.path().filename().string();
        if (name.find("pulse") == std::string::npos || entry.path().extension() != ".pid") continue;
        const pid_t pid = std::atoi(firstLine(entry.path()).c_str());
        killed = pid > 0 && ::kill(pid, SIGKILL) == 0;
    }
    return killed;
}

ToneReport examineTone(std::vector<std::int16_t> samples, double rate, double expectedHz) {
    ToneReport report;
    // A source starts with silence until its first frames come.
    const auto sound = std::find_if(samples.begin(), samples.end(), [](auto s) { return s != 0; });
    samples.erase(samples.begin(), sound);
    for (const auto sample : samples) report.peak = std::max(report.peak, std::abs(double(sample)));
    // A sine obeys x[n+1] + x[n-1] = 2 cos(w) x[n]; a lost or repeated frame
    // does not. Where a silence begins or ends one of the three is zero.
    const double twoCos = 2 * std::cos(2 * std::numbers::pi * expectedHz / rate);
    const double allowed = std::max(0.05 * report.peak, 50.0);
    constexpr std::size_t silentRun = 8;  // exact zeros in a row: a silence
    std::size_t zeros = 0;
    std::size_t lastBreak = 0;
    std::vector<std::size_t> rises;
    for (std::size_t n = 1; n + 1 < samples.size(); ++n) {
        zeros = samples[n] == 0 ? zeros + 1 : 0;
        if (zeros == silentRun) ++report.silences;
        const bool nearSilence = samples[n - 1] == 0 || samples[n] == 0 || samples[n + 1] == 0;
        const double residue = samples[n + 1] + samples[n - 1] - twoCos * samples[n];
        if (!nearSilence && std::abs(residue) > allowed) {
            if (report.breaks == 0 || n > lastBreak + 2) ++report.breaks;
            lastBreak = n;
        }
        if (samples[n - 1] < 0 && samples[n] >= 0) rises.push_back(n);
    }
    // Periods that span a silence are left out of the frequency.
    std::vector<double> periods;
    for (std::size_t i = 1; i < rises.size(); ++i) periods.push_back(double(rises[i] - rises[i - 1]));
    if (periods.empty()) return report;
    std::vector<double> sorted = periods;
    std::nth_element(sorted.begin(), sorted.begin() + long(sorted.size() / 2), sorted.end());
    const double median = sorted[sorted.size() / 2];
    double total = 0;
    std::size_t counted = 0;
    for (const double period : periods) {
        if (std::abs(period - median) > 0.1 * median) continue;
        total += period;
        ++counted;
    }
    report.frequency = double(counted) * rate / total;
    return report;
}

}  // namespace sorvan::pulsetest
