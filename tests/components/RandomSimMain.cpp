// Random sequences of component calls on the virtual devices. CTest runs a
// bounded number; run it by hand for longer:
//   sorvan_random_components --seconds 600 --seed 1000
// With SORVAN_RANDOM_CLOCK=real the devices run on their own thread, in real
// time: slower, and not replayable step for step.
#include <cstdlib>
#include <string>

#include "RandomRunner.h"
#include "RandomSimDevices.h"

int main(int argc, char** argv) {
    const char* clock = std::getenv("SORVAN_RANDOM_CLOCK");
    randomseq::SimDevices devices(clock != nullptr && std::string(clock) == "real");
    const randomseq::RunOptions options = randomseq::ParseRunOptions(argc, argv, {});
    return randomseq::RunSequences(devices, options) == 0 ? 0 : 1;
}
