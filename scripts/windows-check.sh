#!/usr/bin/env bash
# Builds the project for 64-bit and 32-bit Windows with MinGW-w64 (the
# project's own CMake, warnings as errors) and runs every test that can run
# there under Wine: the framework against the system's windows and message
# loop, the components against the system's waveform API, and the packages'
# resources read back with the system's resource functions.
#
# Under Wine a program that cannot start (a 32-bit one without 32-bit Wine)
# may print nothing and exit with 0, so every test program passes on
# GoogleTest's summary line alone, and the totals below come from those lines.
#
#   scripts/windows-check.sh            both, each run where its Wine is installed
#   SORVAN_WINDOWS_ARCHS=x86_64 ...     one of them
set -euo pipefail
cd "$(dirname "$0")/.."

archs=(${SORVAN_WINDOWS_ARCHS:-x86_64 i686})
build_type=${SORVAN_WINDOWS_BUILD_TYPE:-Release}

packages=(wine wine64 googletest)
for arch in "${archs[@]}"; do
  packages+=("g++-mingw-w64-${arch//_/-}-posix")
done
bash scripts/setup.sh "${packages[@]}"

# 32-bit Wine comes from Debian's i386 architecture; without it the 32-bit
# build is still compiled, but not run.
wine32=no
if [[ " ${archs[*]} " == *" i686 "* ]]; then
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo=sudo; fi
  if dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed"; then
    wine32=yes
  else
    # Without the recommended packages: Wine's programs need no graphics here.
    echo "Installing: wine32:i386"
    added_i386=no
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
      $sudo dpkg --add-architecture i386
      added_i386=yes
    fi
    if $sudo apt-get update -qq && DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq \
        --no-install-recommends wine32:i386 >/dev/null; then
      wine32=yes
    elif [ "$added_i386" = yes ]; then
      # An i386 index the mirror cannot serve would fail every later
      # apt-get update on this machine (scripts/setup.sh's among them).
      $sudo dpkg --remove-architecture i386 || true
    fi
  fi
fi

export CCACHE_BASEDIR="$PWD"
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

# One Wine prefix for both builds, created once; its server and services
# stay up between the test programs, which saves seconds on each of them.
export WINEPREFIX="$PWD/build-windows/wineprefix" WINEDEBUG=-all
mkdir -p "$WINEPREFIX"
wineserver -p
trap 'wineserver -k || true' EXIT
wine wineboot >/dev/null 2>&1 </dev/null

summary=()
for arch in "${archs[@]}"; do
  out="build-windows/$arch"
  echo "== Windows $arch: configure and build ($build_type)"
  cmake -S . -B "$out" -DCMAKE_TOOLCHAIN_FILE="cmake/toolchains/mingw-w64-$arch.cmake" \
    -DCMAKE_BUILD_TYPE="$build_type" "${launcher[@]}" >/dev/null
  cmake --build "$out" -j "$(nproc)"
  # The packages require each other by these names, so the DLLs must carry them.
  for package in vcl50 sorvanrt sorvandt; do
    if [ ! -f "$out/bin/$package.dll" ]; then
      echo "Windows $arch: the package $package is not $out/bin/$package.dll" >&2
      exit 1
    fi
  done

  if [ "$arch" = i686 ] && [ "$wine32" != yes ]; then
    summary+=("Windows $arch: built; not run (no 32-bit Wine)")
    continue
  fi
  echo "== Windows $arch: tests under Wine"
  status=0
  ctest --test-dir "$out" --output-on-failure || status=$?
  log="$out/Testing/Temporary/LastTest.log"
  tests=$(grep -hoE '^\[  PASSED  \] [0-9]+' "$log" | awk '{s += $4} END {print s + 0}')
  programs=$(grep -cE '^\[  PASSED  \] [0-9]+' "$log" || true)
  summary+=("Windows $arch: $tests tests passed in $programs programs")
  # Where the system departs from its documentation, the tests say so.
  while IFS= read -r line; do
    summary+=("  $line")
  done < <(grep -h '^\[ SYSTEM   \]' "$log" | sort -u)
  if [ "$status" -ne 0 ]; then
    printf '%s\n' "${summary[@]}"
    exit "$status"
  fi
done
printf '%s\n' "${summary[@]}"
