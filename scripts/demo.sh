#!/usr/bin/env bash
# Sets everything up, builds the sorvan program and runs its demo: three
# seconds recorded from the default input device and played back on the
# default output device (the built-in virtual devices where there is no sound
# hardware).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target sorvan
build/tools/sorvan/sorvan demo "$@"
