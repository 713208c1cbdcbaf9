// Test hooks of the virtual devices, set through the environment of a
// program that runs on them (SORVAN_AUDIO=sim),
// so that tests can drive a whole program from outside:
//
//   SORVAN_SIM_FAIL=FUNCTION:CODE[:COUNT]
//       the next COUNT (default 1) calls of that wave function fail with
//       CODE, for example waveInOpen:4 for a device in use elsewhere
//   SORVAN_SIM_DEVICES=COUNT
//       COUNT inputs ("Sim Input", "Sim Input 2" ...) and as many outputs
//       instead of one of each
//   SORVAN_SIM_PLAYED=FILE
//       when the program exits, FILE holds every byte the virtual output
//       devices took for playback, device by device
//
// They take effect when the environment chooses the sim driver; a program
// or test that sets up the devices itself (Sim.h) is not affected.
#pragma once

namespace sorvan::sim {

// Reads the three settings once per process. A malformed SORVAN_SIM_FAIL is
// reported on stderr and ignored.
void applyEnvironmentHooks();

}  // namespace sorvan::sim
