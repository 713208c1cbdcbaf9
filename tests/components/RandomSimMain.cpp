// Random sequences of component calls on the virtual devices. CTest runs a
// bounded number; run it by hand for longer:
//   sorvan_random_components --seconds 600 --seed 1000
#include "RandomRunner.h"
#include "RandomSimDevices.h"

int main(int argc, char** argv) {
    randomseq::SimDevices devices;
    const randomseq::RunOptions options = randomseq::ParseRunOptions(argc, argv, {});
    return randomseq::RunSequences(devices, options) == 0 ? 0 : 1;
}
