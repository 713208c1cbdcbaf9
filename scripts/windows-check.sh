#!/usr/bin/env bash
# Checks the Windows side with MinGW-w64 and Wine: the framework's tests run
# against the system's own windows and message loop, and unit Sorvan with the
# design-time unit builds against the system's waveform API and links into a DLL.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh g++-mingw-w64-x86-64-posix wine wine64 googletest

out=build-windows
mkdir -p "$out"
compiler=(x86_64-w64-mingw32-g++-posix -std=c++20 -O1)
cxx=("${compiler[@]}" -Wall -Wextra -Werror -Wno-missing-field-initializers -I.)
gtest=/usr/src/googletest/googletest

if [ ! -f "$out/gtest.a" ]; then
  "${compiler[@]}" -I"$gtest/include" -I"$gtest" -c "$gtest/src/gtest-all.cc" -o "$out/gtest-all.o"
  "${compiler[@]}" -I"$gtest/include" -c "$gtest/src/gtest_main.cc" -o "$out/gtest_main.o"
  x86_64-w64-mingw32-ar rcs "$out/gtest.a" "$out/gtest-all.o" "$out/gtest_main.o"
fi

echo "Building the framework tests for Windows"
"${cxx[@]}" -I"$gtest/include" framework/*.cpp tests/framework/*.cpp "$out/gtest.a" \
  -static -luser32 -o "$out/framework_tests.exe"

echo "Building unit Sorvan and SorvanReg into a DLL"
"${cxx[@]}" -shared framework/*.cpp components/*.cpp design/*.cpp \
  -static -lwinmm -luser32 -o "$out/sorvan_units.dll"

echo "Running the framework tests under Wine"
export WINEDEBUG=-all WINEPREFIX="$PWD/$out/wineprefix"
wine "$out/framework_tests.exe"
