#!/usr/bin/env bash
# Sets everything up, builds with warnings as errors and runs every test.
#   scripts/test.sh              the normal build, in build/
#   scripts/test.sh --sanitize   with AddressSanitizer and UBSan, in build-asan/
#   scripts/test.sh --tsan       the threaded tests (waveform core, drivers, message
#                                loop, components) with ThreadSanitizer, in build-tsan/
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

build=build
options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
targets=()
if [ "${1:-}" = "--sanitize" ]; then
  build=build-asan
  options=(-DCMAKE_BUILD_TYPE=Debug -DSORVAN_SANITIZE=ON -DSORVAN_BUILD_BENCHMARKS=OFF
    -DSORVAN_RANDOM_SEQUENCES=20000)
elif [ "${1:-}" = "--tsan" ]; then
  build=build-tsan
  options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DSORVAN_SANITIZE=thread
    -DSORVAN_BUILD_BENCHMARKS=OFF -DSORVAN_BUILD_TOOLS=OFF -DSORVAN_BUILD_EXAMPLES=OFF
    -DSORVAN_RANDOM_SEQUENCES=2000)
  targets=(--target platform_tests alsa_tests framework_tests queue_descriptor_tests sorvan_in_tests
    sorvan_out_tests sorvan_random_components sorvan_random_components_alsa sorvan_library_program)
  # A report fails the test that made it; a refused allocation is tested, not fatal.
  # libpulse's own reports, which the sanitizer cannot judge, are listed with their reasons.
  export TSAN_OPTIONS="halt_on_error=1 allocator_may_return_null=1 suppressions=$PWD/tests/tsan-suppressions.txt ${TSAN_OPTIONS:-}"
  # The machine's own ALSA setup may load plug-ins built without
  # ThreadSanitizer (PulseAudio's), whose threads it cannot follow: tests that
  # take whatever driver is the default get the virtual devices, and a test
  # that asks for the automatic choice probes an ALSA without plug-ins. The
  # alsa tests write and select their own ALSA configuration.
  export SORVAN_AUDIO=sim
  export ALSA_CONFIG_PATH="$PWD/tests/tsan-asound.conf"
fi

# Every part the tests cover is built, or the configure step names the package.
options+=(-DSORVAN_REQUIRE_ALL=ON)
cmake -S . -B "$build" "${options[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)" "${targets[@]}"
# Test programs left unbuilt show up as <program>_NOT_BUILT.
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" -E _NOT_BUILT
