#!/usr/bin/env bash
# Builds the project with AddressSanitizer and UndefinedBehaviorSanitizer and runs
# every test. On a fresh Debian 12 machine (as root) it first installs what is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)

. scripts/lib/packages.sh
# groff-base: the manual pages' tests render them.
install_missing_packages "" "error: " g++ cmake ninja-build libgtest-dev libgmock-dev \
  qt6-base-dev qt6-serialport-dev fonts-dejavu-core groff-base

# Headless Qt: offscreen platform, a private runtime folder, and the one known
# leak inside the font library suppressed (and nothing else).
export QT_QPA_PLATFORM=offscreen
XDG_RUNTIME_DIR=$(mktemp -d)
chmod 0700 "$XDG_RUNTIME_DIR"
export XDG_RUNTIME_DIR
export LSAN_OPTIONS="suppressions=$top/scripts/lsan.supp:print_suppressions=0"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

werror=OFF
[ "${CI:-}" = "true" ] && werror=ON
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQELT_SANITIZE=ON -DQELT_WERROR=$werror
cmake --build build -j "$(nproc)"
cd build
ctest --output-on-failure -j "$(nproc)" --timeout 300
