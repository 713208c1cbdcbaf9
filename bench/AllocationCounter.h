// Counts every allocation the benchmark program makes through operator new,
// so that a benchmark can report what each buffer or block costs.
#pragma once

#include <cstdint>

// Allocations on every thread since the program started.
std::int64_t AllocationsEverywhere();
// Allocations made by the calling thread.
std::int64_t AllocationsOnThisThread();
