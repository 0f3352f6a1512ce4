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

. scripts/lib/release.sh
if [ -n "$prefix" ]; then
  updater="$prefix/bin/qelt-update"
  emulator="$prefix/bin/qelt-emulator"
  package="$prefix/share/qelt-updater/examples/package"
  for file in "$updater" "$emulator" "$package/rev0/script.ini"; do
    [ -e "$file" ] || { echo "demo.sh: $file is not installed" >&2; exit 1; }
  done
  echo "== Using the programs installed below $prefix"
else
  . scripts/lib/packages.sh
  install_missing_packages "== " "demo.sh: " g++ cmake ninja-build libgtest-dev libgmock-dev \
    qt6-base-dev qt6-serialport-dev
  echo "== Building (release) into build-release/"
  build_release demo.sh  # sets updater and emulator
  package="$top/examples/package"
fi

# A private folder for the device's state and a copy of the package: a run may
# rewrite the main card's script (the extended input card's images), and the
# committed package stays as it is.
work=$(mktemp -d)
cleanup() {
  stop_emulator || true
  rm -rf "$work"
}
trap cleanup EXIT
cp -r "$package" "$work/package"

echo "== Starting the device emulator on a pseudo-terminal (fresh device)"
start_emulator demo.sh --pty --state "$work/device.state" "${pace[@]}" || exit 1
pty=$emulator_pty
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

stop_emulator || true
if [ "$status" -eq 0 ]; then
  echo
  echo "== Demo complete: the device was updated, and the second run skipped what was current."
fi
exit "$status"
