#include "SoundServer.h"

#include <signal.h>
#include <stdlib.h>

#include <cmath>
#include <cstring>
#include <cstdio>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "platform/WaveApi.h"

namespace servertest {

namespace {

std::string Dir() {
    const char* dir = std::getenv("SORVAN_TEST_SERVER_DIR");
    return dir != nullptr ? dir : "";
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

template <class Caps, class GetCaps>
unsigned DeviceNamed(const std::string& pcm, UINT count, GetCaps getCaps) {
    for (UINT id = 0; id < count; ++id) {
        Caps caps{};
        if (getCaps(id, &caps, sizeof caps) == MMSYSERR_NOERROR && pcm == caps.szPname) {
            return id;
        }
    }
    ADD_FAILURE() << "no device " << pcm;
    return count;
}

}  // namespace

std::string UseServer() {
    std::string why;
    if (Dir().empty()) {
        why = "SORVAN_TEST_SERVER_DIR is not set";
    } else {
        why = ReadAll(Dir() + "/unavailable");
    }
    if (!why.empty()) {
        std::printf("sound server unavailable: %s\n", why.c_str());
        return why;
    }
    // env.sh holds lines of "export NAME=VALUE NAME=VALUE".
    std::istringstream lines(ReadAll(Dir() + "/env.sh"));
    for (std::string word; lines >> word;) {
        const auto equals = word.find('=');
        if (word != "export" && equals != std::string::npos) {
            setenv(word.substr(0, equals).c_str(), word.substr(equals + 1).c_str(), 1);
        }
    }
    setenv("SORVAN_AUDIO", "alsa", 1);
    return Kind().empty() ? "the server wrote no environment" : "";
}

std::string Kind() {
    const char* kind = std::getenv("SORVAN_SOUND_SERVER");
    return kind != nullptr ? kind : "";
}

std::vector<std::string> ServerPcms() {
    if (Kind() == "pipewire") return {"default", "pulse", "pipewire"};
    return {"default", "pulse"};
}

std::string Pactl(const std::string& args) {
    std::string output;
    if (FILE* pipe = popen(("pactl " + args + " 2>&1").c_str(), "r")) {
        char chunk[256];
        while (std::fgets(chunk, sizeof chunk, pipe) != nullptr) output += chunk;
        pclose(pipe);
    }
    while (!output.empty() && std::isspace(static_cast<unsigned char>(output.back()))) output.pop_back();
    return output;
}

void KillServer() {
    for (const char* process : {"pipewire-pulse", "wireplumber", "pipewire", "pulseaudio"}) {
        const std::string pid = ReadAll(Dir() + "/" + process + ".pid");
        if (!pid.empty()) kill(static_cast<pid_t>(std::stol(pid)), SIGKILL);
    }
}

void RestoreMicrophone() {
    std::string module;
    if (FILE* pipe = popen(("bash '" + std::string(SORVAN_SOUND_SERVER_SCRIPT) + "' virtmic " + Kind()).c_str(), "r")) {
        char chunk[512];
        while (std::fgets(chunk, sizeof chunk, pipe) != nullptr) module += chunk;
        pclose(pipe);
    }
    Pactl("load-module " + module);
    std::this_thread::sleep_for(300ms);
    Pactl("set-default-source micV");
}

unsigned InputDevice(const std::string& pcm) {
    return DeviceNamed<WAVEINCAPSA>(pcm, waveInGetNumDevs(), waveInGetDevCapsA);
}

unsigned OutputDevice(const std::string& pcm) {
    return DeviceNamed<WAVEOUTCAPSA>(pcm, waveOutGetNumDevs(), waveOutGetDevCapsA);
}

ToneCheck CheckTone(const std::vector<short>& interleaved, unsigned rate) {
    std::vector<double> left;
    for (std::size_t i = 0; i + 1 < interleaved.size(); i += 2) left.push_back(interleaved[i]);
    ToneCheck check;
    std::size_t first = 0, last = 0, crossings = 0;
    for (std::size_t i = 1; i < left.size(); ++i) {
        if (left[i - 1] < 0 && left[i] >= 0) {
            if (crossings++ == 0) first = i;
            last = i;
        }
    }
    if (crossings > 1) check.frequency = static_cast<double>(crossings - 1) * rate / static_cast<double>(last - first);
    // A sine obeys x[n] = 2 cos(w) x[n-1] - x[n-2]; a sample far off it
    // breaks the tone, and breaks within a millisecond are one gap.
    const double twoCos = 2 * std::cos(2 * M_PI * toneHz / rate);
    double peak = 1;
    for (double sample : left) peak = std::max(peak, std::abs(sample));
    std::size_t lastBreak = 0;
    for (std::size_t i = 2; i < left.size(); ++i) {
        if (std::abs(left[i] - (twoCos * left[i - 1] - left[i - 2])) > 0.05 * peak) {
            if (check.breaks == 0 || i - lastBreak > rate / 1000) ++check.breaks;
            lastBreak = i;
        }
    }
    return check;
}

}  // namespace servertest
