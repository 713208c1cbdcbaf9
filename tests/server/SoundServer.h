// The sound server a test runs against, started by the CTest fixture
// (server_fixture.sh): its environment, its control, and how to kill it.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "framework/Forms.h"

namespace servertest {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// The tests' format: 48 kHz stereo 16-bit, in buffers of 10 ms.
constexpr unsigned rate = 48000;
// What the server's microphone hears, made on the server's own clock.
constexpr double toneHz = 440;
constexpr std::int32_t tenMilliseconds = rate / 100 * 4;

// Handles messages until `done` or `limit`.
template <class Done>
void PumpUntil(Done done, std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    while (!done() && Clock::now() < deadline) {
        Application->ProcessMessages();
        std::this_thread::sleep_for(1ms);
    }
}

// Takes the server's environment into this process (before any sound
// library starts); empty, or why the tests must skip: no server here.
std::string UseServer();

// "pipewire" or "pulseaudio".
std::string Kind();

// The ALSA PCMs that reach the server: "default" and the plug-ins.
std::vector<std::string> ServerPcms();

// Runs `pactl args`; its output, trimmed.
std::string Pactl(const std::string& args);

// Kills every process of the server.
void KillServer();

// Loads the virtual microphone again after a test took it away, and makes it
// the default source once more.
void RestoreMicrophone();

// The waveform device number of a PCM by its name.
unsigned InputDevice(const std::string& pcm);
unsigned OutputDevice(const std::string& pcm);

// A stereo 16-bit recording of the server's tone, checked.
struct ToneCheck {
    double frequency = 0;
    // Runs of samples that break the sine: each is a gap in the sound.
    int breaks = 0;
};
ToneCheck CheckTone(const std::vector<short>& interleaved, unsigned rate);

}  // namespace servertest
