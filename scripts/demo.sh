#!/usr/bin/env bash
# Sets everything up, builds the sorvan program and runs its demo: three
# seconds recorded from the default input device and played back on the
# default output device. Where there is no sound device it asks for the
# built-in virtual devices (SORVAN_AUDIO=sim), and says so: the library
# never puts them in a microphone's place by itself.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSORVAN_REQUIRE_ALL=ON >/dev/null
cmake --build build -j"$(nproc)" --target sorvan
sorvan=build/tools/sorvan/sorvan
if [ -z "${SORVAN_AUDIO:-}" ]; then
  driver=$("$sorvan" devices | sed -n 's/^Audio driver: none (\(.*\))$/\1/p')
  if [ -n "$driver" ]; then
    echo "demo.sh: $driver" >&2
    echo "demo.sh: so the demo runs on the built-in virtual devices (SORVAN_AUDIO=sim): a 440 Hz tone in, nothing heard" >&2
    export SORVAN_AUDIO=sim
  fi
fi
"$sorvan" demo "$@"
