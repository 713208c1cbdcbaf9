// Seeded random sequences of public calls on the components, with their
// invariants checked after every step.
//
// A sequence creates TSorvanIn and TSorvanOut components (some owned by a
// form-like owner), and drives them with random calls: open, close, reset,
// playback of random sizes (0 and partial frames included, and refused
// arguments), every setter with values in and out of range, FileName
// changes, capabilities and volume, CloseWAVFile, destroying a component or
// its owner, running the message loop and letting the devices move. Every
// event handler may itself make such a call, destroy its component or
// reassign its own event. Where the devices can, random wave calls are made
// to fail.
//
// Checked throughout: no handler runs for a destroyed component or with
// another sender; no exception escapes; OnData gets whole frames; every
// byte OnData got is in the recording file, in order, and a completed file
// is valid (header, sizes, libsndfile's frames x block align = data size =
// bytes delivered); a successful close leaves no device open; OnDone fires
// at most once per accepted block, and exactly once once the player is
// closed and its notifications are handled; every device a component opened
// is closed once it is destroyed. Leaks are left to the sanitizers.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "RandomDevices.h"

namespace randomseq {

struct Options {
    int steps = 120;
    // Recording files go here; it must exist.
    std::filesystem::path folder;
    // Print every step as it runs (for replaying one seed).
    bool trace = false;
};

struct Outcome {
    std::vector<std::string> violations;  // empty when every invariant held
    std::vector<std::string> steps;       // what ran, for the report
    int stepsRun = 0;
    long injectedFailures = 0;
    long events = 0;        // handlers run
    long filesChecked = 0;  // completed recording files read back
    bool Passed() const { return violations.empty(); }
};

Outcome RunSequence(Devices& devices, std::uint64_t seed, const Options& options);

}  // namespace randomseq
