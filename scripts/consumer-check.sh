#!/usr/bin/env bash
# Builds Sorvan in Release and runs its tests, installs it into a temporary
# prefix, and builds and runs the README's example the three ways an
# application takes Sorvan in (tests/consumers/): find_package, pkg-config and
# add_subdirectory. Each records two seconds and plays them on the virtual
# devices, and its WAV file is checked.
set -euo pipefail
cd "$(dirname "$0")/.."
source=$PWD

bash scripts/setup.sh

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
example=$source/examples/record_play.cpp

echo "== The README's example is examples/record_play.cpp"
sed -n '/^<!-- record_play.cpp -->$/,/^```$/p' README.md | sed '1,2d;$d' > "$work/readme_example.cpp"
diff -u "$example" "$work/readme_example.cpp"

echo "== Release build with warnings as errors, installed into $prefix"
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DSORVAN_WARNINGS_AS_ERRORS=ON \
  -DSORVAN_REQUIRE_ALL=ON >/dev/null
cmake --build build-release -j"$(nproc)"
ctest --test-dir build-release -j"$(nproc)" --output-on-failure >"$work/ctest.log" ||
  { cat "$work/ctest.log"; exit 1; }
cmake --install build-release --prefix "$prefix" >/dev/null

echo "== The prefix holds the public headers only, and the program reaches no driver but through the waveform layer"
drivers=$(find "$prefix/include" -path '*/platform/*/*' ! -path '*/platform/posix/*' -name '*.h')
if [ -n "$drivers" ]; then
  echo "driver or waveform-layer headers were installed:" >&2
  echo "$drivers" >&2
  exit 1
fi
if grep -rnE '#include "platform/(alsa|sim|pulse)/' tools/; then
  echo "tools/ includes a driver's header" >&2
  exit 1
fi
if readelf -d "$prefix/bin/sorvan" | grep -E 'NEEDED.*(libasound|libpulse)'; then
  echo "the sorvan program links a sound library itself" >&2
  exit 1
fi
readelf -d "$(find "$prefix" -name libsorvanrt.so | head -1)" | grep -q 'SONAME.*libsorvanrt\.so\.1\]' ||
  { echo "libsorvanrt.so carries no SONAME version" >&2; exit 1; }

echo "== The installed sorvan program runs from the prefix and loads the installed design-time package"
env -u LD_LIBRARY_PATH "$prefix/bin/sorvan" designer new-form "$work/form.dfm" \
  --package "$(find "$prefix" -name 'sorvandt.*')" --drop TSorvanIn:Mic >/dev/null
grep -q 'object Mic: TSorvanIn' "$work/form.dfm"

# run_example NAME PROGRAM: records and plays in a folder of its own, then
# checks the file: 44.1 kHz 16-bit mono, at least two seconds (one capture
# buffer more at most), sizes in the header matching the file, not silent,
# and its data exactly what the virtual output played.
run_example() {
  local name=$1 program=$2 run=$work/run-$1
  mkdir -p "$run"
  echo "== $name: record and play"
  (cd "$run" && SORVAN_AUDIO=sim SORVAN_SIM_PLAYED="$run/played.raw" "$program")
  local wav=$run/take.wav
  local frames size rms
  frames=$(soxi -s "$wav")
  size=$(stat -c %s "$wav")
  rms=$(sox "$wav" -n stat 2>&1 | awk '/^RMS +amplitude/ {print $3}')
  if [ "$(soxi -r "$wav")" != 44100 ] || [ "$(soxi -c "$wav")" != 1 ] ||
     [ "$(soxi -b "$wav")" != 16 ] || ((frames < 88200 || frames > 88200 + 1024)) ||
     ((size != 44 + 2 * frames)) || ! awk -v rms="$rms" 'BEGIN { exit !(rms > 0.01) }'; then
    echo "$name: take.wav is not the recording it should be:" >&2
    soxi "$wav" >&2
    echo "RMS amplitude $rms, file size $size" >&2
    return 1
  fi
  if ! tail -c +45 "$wav" | cmp -s - "$run/played.raw"; then
    echo "$name: what was played is not what take.wav holds" >&2
    return 1
  fi
  echo "$name: take.wav holds $frames frames, and they were played"
}

echo "== find_package"
cmake -S tests/consumers/find-package -B "$work/find-package" -DCMAKE_PREFIX_PATH="$prefix" \
  -DEXAMPLE_SOURCE="$example" >/dev/null
cmake --build "$work/find-package"
run_example find-package "$work/find-package/record_play"
echo "== find-package: a busy output device is reported with the system's text"
if (cd "$work/run-find-package" &&
    SORVAN_AUDIO=sim SORVAN_SIM_FAIL=waveOutOpen:4 "$work/find-package/record_play" 2>"$work/stderr"); then
  echo "record_play succeeded although the output device could not be opened" >&2
  exit 1
fi
grep -qx "cannot play: The specified device is already in use. Wait until it is free, and then try again." \
  "$work/stderr" || { cat "$work/stderr" >&2; exit 1; }

echo "== pkg-config"
export PKG_CONFIG_PATH
PKG_CONFIG_PATH=$(dirname "$(find "$prefix" -name sorvan.pc)")
mkdir -p "$work/pkg-config"
make -s -C "$work/pkg-config" -f "$source/tests/consumers/pkg-config/Makefile" \
  EXAMPLE_SOURCE="$example"
run_example pkg-config "$work/pkg-config/record_play"

echo "== add_subdirectory, with GoogleTest, CLI11, Google Benchmark and pkg-config out of view"
cmake -S tests/consumers/subdirectory -B "$work/subdirectory" -DSORVAN_SOURCE_DIR="$source" \
  -DEXAMPLE_SOURCE="$example" -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON \
  -DCMAKE_DISABLE_FIND_PACKAGE_CLI11=ON -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON \
  -DCMAKE_DISABLE_FIND_PACKAGE_PkgConfig=ON >/dev/null
cmake --build "$work/subdirectory" -j"$(nproc)" --target record_play
run_example subdirectory "$work/subdirectory/record_play"
