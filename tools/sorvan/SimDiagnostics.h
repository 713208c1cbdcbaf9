// Hooks for tests that run the program on the virtual devices
// (SORVAN_AUDIO=sim); on other devices they do nothing.
//
//   SORVAN_SIM_PLAYED=FILE       after `play`, FILE holds every byte the
//                                virtual output device took for playback
//   SORVAN_SIM_FAIL=FUNCTION:CODE[:COUNT]
//                                the next COUNT (default 1) calls of that
//                                wave function fail with CODE, for example
//                                waveInOpen:4 for a device in use elsewhere
#pragma once

// Raises CliError for a malformed SORVAN_SIM_FAIL.
void ApplySimDiagnostics();

// For SORVAN_SIM_PLAYED; `deviceNumber` -1 is the default output device.
void SavePlayedBytes(int deviceNumber);
