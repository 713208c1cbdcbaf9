// The ALSA world of the driver's tests: a configuration written into a
// temporary folder, read by ALSA through ALSA_CONFIG_PATH, that offers
//   default    a device paced by the clock (the test PCM type)
//   silence    the null PCM
//   tape       a file PCM: what is played lands in tapePath()
//   recorder   a file PCM whose captured frames come from sourcePath()
//   flaky      the paced device, with one xrun after a tenth of a second
//   unplugged  the paced device, gone after a tenth of a second
//   taken      the paced device, held by another program
//   speaker    the paced device; on close it writes to playedPath() how many
//              frames it had played
//   ear        the paced device; on close it writes to heardPath("ear") the
//              bytes it played, in order
//   pausing    the same as ear (heardPath("pausing")), and it can pause
//   sticky     the paced device, its descriptor readable while it is not
//              ready (as the sound servers' plug-ins); on close it writes to
//              temporaryPath("sticky") how often poll's events were asked for
//   witness    the paced device; creates temporaryPath("witness") when opened
//   lagging    the paced device; playback never runs dry, and its delay
//              stays 300 frames once it has played all it was given
//   stalling   the paced device; capture loses 50 ms after half a second,
//              and no xrun says so
//   null, resampled   PCMs that are no devices of their own: not offered
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "WaveTestSupport.h"
#include "platform/WaveApi.h"

namespace sorvan::alsatest {

inline constexpr DWORD faultFrame = 4410;  // at 44.1 kHz

// Writes the configuration (once per process, before any ALSA call) and
// makes a fresh alsa driver the current one. With `defaultOpens` false,
// "default" is held by another program.
void useTestDevices(bool defaultOpens = true);

std::string tapePath();
std::string sourcePath();
std::string playedPath();
std::string heardPath(const std::string& pcm);
// A path in the process's own temporary folder, removed at exit.
std::string temporaryPath(const std::string& name);

// Pumps the calling thread's messages until `count` notifications reached
// `window` or five seconds passed; what arrived, in order.
std::vector<wavetest::Notification> collect(wavetest::NotificationWindow& window,
                                            std::size_t count);

// The device number of a PCM by its name; fails the test when absent.
UINT inputDevice(const std::string& pcm);
UINT outputDevice(const std::string& pcm);

std::vector<char> readFile(const std::string& path);
void writeFile(const std::string& path, const std::vector<char>& bytes);

}  // namespace sorvan::alsatest
