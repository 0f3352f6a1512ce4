#!/usr/bin/env bash
# Builds the Qt-free part (engines, link, app core, emulator core, runner core and
# their tests) for Windows x86-64 with MinGW-w64 and runs every test binary under
# wine, then prints ctest's summary. On a fresh Debian 12 machine (as root) it
# first installs what is missing. Everything it makes stays in build-windows/:
# GoogleTest built for Windows, the project's build, and wine's own prefix (which
# needs no display). Exits non-zero when a build step or a test fails.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)
out=$top/build-windows
jobs=$(nproc)
mkdir -p "$out"

. scripts/lib/packages.sh
install_missing_packages "" "error: " cmake ninja-build googletest \
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine64

# The tests only need to run: -O1 without sanitizers builds fast and runs the
# longer tests (flash and JTAG transfers through the emulated device) fast too.
# The project's build takes the same settings from the preset "windows-cross".
toolchain=(-G Ninja -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-w64-x86_64.cmake"
           -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE=-O1)

step() { printf '== %s (%s)\n' "$1" "$(date +%T)"; }

# GoogleTest for Windows, from the sources Debian ships, installed once.
gtest=$out/googletest
if [ ! -f "$gtest/lib/cmake/GTest/GTestConfig.cmake" ]; then
  step "GoogleTest for Windows"
  cmake -S /usr/src/googletest -B "$out/googletest-build" "${toolchain[@]}" \
    -DCMAKE_INSTALL_PREFIX="$gtest" > "$out/googletest.log" 2>&1 &&
  cmake --build "$out/googletest-build" -j "$jobs" >> "$out/googletest.log" 2>&1 &&
  cmake --install "$out/googletest-build" >> "$out/googletest.log" 2>&1 ||
  { tail -n 30 "$out/googletest.log" >&2; echo "error: GoogleTest did not build" >&2; exit 1; }
fi

# wine: its own prefix, no display, no prompts for the .NET and HTML runtimes.
export WINEPREFIX=$out/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Paths with characters beyond ASCII reach wine intact only from a UTF-8 locale.
export LC_ALL=C.UTF-8
unset DISPLAY WAYLAND_DISPLAY
# One wine server for the prefix's set-up and every test process, stopped when the
# script ends (first any server an interrupted run left behind, which would make
# this one refuse to start).
mkdir -p "$WINEPREFIX"
wineserver -k 2> /dev/null || true
wineserver -p
trap 'wineserver -k 2> /dev/null || true' EXIT
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  step "wine prefix"
  wineboot -i > "$out/wineboot.log" 2>&1 || { cat "$out/wineboot.log" >&2; exit 1; }
fi
# The prefix's services start here, with no output: started by a test, they would
# inherit the test's output pipe and keep ctest waiting for it to close.
wine cmd /c exit > /dev/null 2>&1

werror=OFF
[ "${CI:-}" = "true" ] && werror=ON
step "Building for Windows into build-windows/project/"
# The preset "windows-cross" (CMakePresets.json): the toolchain file, -O1, no Qt,
# GoogleTest from $gtest.
cmake --preset windows-cross -DQELT_WERROR=$werror > "$out/configure.log" 2>&1 ||
  { cat "$out/configure.log" >&2; exit 1; }
cmake --build --preset windows-cross -j "$jobs"

step "Tests under wine"
cd "$out/project"
status=0
ctest --output-on-failure -j "$jobs" --timeout 600 || status=$?
# Each binary is one ctest test here, so ctest's summary cannot show the cases
# that skipped themselves: list them from the log, each with the reason it gave.
awk '/: Skipped$/ { reason = ""; taking = 1; next }
     taking && /^\[  SKIPPED \] [^ ]+ \([0-9]+ ms\)$/ {
       if (!(($4) in seen)) { seen[$4] = 1; list = list "  " $4 ": " reason "\n" }
       taking = 0; next }
     taking { reason = reason (reason == "" ? "" : " ") $0 }
     END { if (list != "") printf "Test cases that skipped themselves under wine:\n%s", list }' \
  Testing/Temporary/LastTest.log
step "Done"
exit $status
