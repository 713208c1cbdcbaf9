// Runs random sequences one seed after another and reports the seed of every
// failure, so that it replays with --seed S --count 1 (add --trace to see
// each step as it runs).
//
//   program [--seed S] [--count N | --seconds T] [--steps K] [--trace]
//
// Sequence i runs with seed S + i. A crash or sanitizer report names the
// seed of the sequence that was running; so does a sequence that hangs.
#pragma once

#include <cstdint>

#include "RandomDevices.h"

namespace randomseq {

struct RunOptions {
    std::uint64_t firstSeed = 1;
    long count = 100;    // sequences to run, when seconds is 0
    double seconds = 0;  // run for this long instead, when not 0
    int steps = 120;     // steps per sequence
    bool trace = false;
};

// Reads the options above from the command line over the given defaults;
// exits with a usage message on anything else.
RunOptions ParseRunOptions(int argc, char** argv, RunOptions defaults);

// Returns the number of sequences that failed.
long RunSequences(Devices& devices, const RunOptions& options);

}  // namespace randomseq
