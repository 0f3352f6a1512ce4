#!/usr/bin/env bash
# The one-command demonstration: builds the updater (release) and the device
# emulator, starts the emulator on a pseudo-terminal with a fresh device, updates
# it from the sample firmware package with qelt-update, then runs the update a
# second time to show every component skipped as already current.
# On a fresh Debian 12 machine (as root) it first installs what is missing.
#   scripts/demo.sh                fast: the emulator answers at once
#   scripts/demo.sh --pace         the emulator keeps the serial line's real speed
#   scripts/demo.sh --prefix /usr  no build: the programs and the sample package
#                                  installed below /usr (the .deb) or another prefix
# Exits 0 only when both runs completed.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)

pace=()
prefix=""
while [ $# -gt 0 ]; do
  case "$1" in
    --pace) pace=(--pace) ;;
    --prefix=*) prefix=${1#--prefix=} ;;
    --prefix)
      [ $# -ge 2 ] || { echo "demo.sh: --prefix needs a folder (try --help)" >&2; exit 2; }
      prefix=$2
      shift ;;
    -h|--help) sed -n '2,11p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "demo.sh: unknown option '$1' (try --help)" >&2; exit 2 ;;
  esac
  shift
done

# Builds the runner and the emulator (release) into build-release/.
build_release() {
  . scripts/lib/packages.sh
  install_missing_packages "== " "demo.sh: " g++ cmake ninja-build libgtest-dev libgmock-dev \
    qt6-base-dev qt6-serialport-dev
  echo "== Building (release) into build-release/"
  mkdir -p build-release
  local build_log=build-release/demo-build.log
  if ! { cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DQELT_SANITIZE=OFF &&
         cmake --build build-release --target qelt-update qelt-emulator -j "$(nproc)"; } \
       > "$build_log" 2>&1; then
    tail -n 40 "$build_log" >&2
    echo "demo.sh: the build failed (whole log: $build_log)" >&2
    exit 1
  fi
}

if [ -n "$prefix" ]; then
  updater="$prefix/bin/qelt-update"
  emulator="$prefix/bin/qelt-emulator"
  package="$prefix/share/qelt-updater/examples/package"
  for file in "$updater" "$emulator" "$package/rev0/script.ini"; do
    [ -e "$file" ] || { echo "demo.sh: $file is not installed" >&2; exit 1; }
  done
  echo "== Using the programs installed below $prefix"
else
  build_release
  updater="$top/build-release/tools/qelt-update"
  emulator="$top/build-release/emulator/qelt-emulator"
  package="$top/examples/package"
fi

# A private folder for the device's state and a copy of the package: a run may
# rewrite the main card's script (the extended input card's images), and the
# committed package stays as it is.
work=$(mktemp -d)
emulator_pid=""
cleanup() {
  if [ -n "$emulator_pid" ] && kill -0 "$emulator_pid" 2>/dev/null; then
    kill -TERM "$emulator_pid" 2>/dev/null || true
    wait "$emulator_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
cp -r "$package" "$work/package"

echo "== Starting the device emulator on a pseudo-terminal (fresh device)"
coproc EMULATOR { exec "$emulator" --pty --state "$work/device.state" "${pace[@]}"; }
emulator_pid=$EMULATOR_PID
pty=""
while IFS= read -r -t 20 -u "${EMULATOR[0]}" line; do
  case "$line" in
    "PTY "*) pty=${line#PTY } ;;
    READY) break ;;
  esac
done
if [ -z "$pty" ]; then
  echo "demo.sh: the emulator did not report its pseudo-terminal" >&2
  exit 1
fi
echo "   device at $pty"

status=0
run() {
  echo
  echo "== $1"
  echo "   qelt-update package/script.ini --port $pty"
  if "$updater" "$work/package/script.ini" --port "$pty" --timeout 30; then
    echo "== $1: completed"
  else
    local code=$?
    echo "== $1: failed (exit status $code)" >&2
    status=1
  fi
}
run "First run: update the device"
run "Second run: the device is current, so every component is skipped"

kill -TERM "$emulator_pid" && wait "$emulator_pid" || true
emulator_pid=""
if [ "$status" -eq 0 ]; then
  echo
  echo "== Demo complete: the device was updated, and the second run skipped what was current."
fi
exit "$status"
