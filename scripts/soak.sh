#!/usr/bin/env bash
# The fault soak: N whole updates of the sample package through the real runner
# (qelt-update) against the real emulator (qelt-emulator), each with a fresh device
# and its own seeded set of faults that a sound update recovers from: resend
# requests, damaged captured data, noise before replies, replies in pieces and
# delayed replies. Odd runs go over a pseudo-terminal, even runs over TCP. A run
# survives when qelt-update exits 0 and the emulator, checking its saved state from
# the device's side (--expect), finds every memory holding the package's image and
# every version register the package's version.
# On a fresh Debian 12 machine (as root) it first installs what is missing.
#   scripts/soak.sh [N] [--seed S]   N runs (default 20); run i uses seed S + i
# Prints one line per run and "survived K of N"; exits 0 only when all survived.
# A failed run's folder (package copy, state, runner and emulator output) is kept.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)

runs=20
base_seed=0
while [ $# -gt 0 ]; do
  case "$1" in
    --seed) base_seed=${2:?--seed needs a number}; shift 2 ;;
    -h|--help) sed -n '2,14p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    [0-9]*) runs=$1; shift ;;
    *) echo "soak.sh: unknown argument '$1' (try --help)" >&2; exit 2 ;;
  esac
done

. scripts/lib/packages.sh
install_missing_packages "== " "soak.sh: " g++ cmake ninja-build libgtest-dev libgmock-dev \
  qt6-base-dev qt6-serialport-dev
echo "== Building (release) into build-release/"
. scripts/lib/release.sh
build_release soak.sh

work=$(mktemp -d)
trap 'stop_emulator || true; rm -rf "$work/run"; rmdir "$work" 2>/dev/null || true' EXIT

# What the package leaves on the emulator's default device (type 37: rev1/): the
# last boot image (added per run, below), and from each card script the bank images ("P0".."P7"), the
# "E" image ("PE") and the versions ("V") of the card its bridge line ("Q" + n)
# opens, the main card's when it has none.
package="$top/examples/package/rev1"
expectations=()
for script in "$package"/*/script.ini; do
  folder=$(dirname "$script")
  while read -r expectation; do
    expectations+=("$expectation")
  done < <(tr -d '\r' < "$script" | awk -v folder="$folder" '
    /^Q[0-5]/ { card = "card" substr($1, 2, 1) }
    { lines[NR] = $0 }
    END {
      if (card == "") card = "main"
      for (i = 1; i <= NR; ++i) {
        split(lines[i], w, " ")
        if (w[1] ~ /^P[0-7]$/) print card ".bank" substr(w[1], 2) "=" folder "/" w[2]
        if (w[1] == "PE") print card ".e=" folder "/" w[2]
        if (w[1] ~ /^V[0-9ACE]$/) print card ".version" substr(w[1], 2) "=" w[2]
      }
    }')
done
expect_args=()
for e in "${expectations[@]}"; do expect_args+=(--expect "$e"); done
echo "== $runs runs; each checks $((${#expectations[@]} + 1)) memories and versions afterwards"

# The fault set of one run, drawn from its seed: always resends, and each of the
# others in about half of the runs. Delays are few and short: the runner's
# watchdog (--timeout 30) must never fire.
fault_set() {
  RANDOM=$1
  local faults=("resend,rate=$((1 + RANDOM % 15))")
  ((RANDOM % 2)) && faults+=("capture-checksum,rate=$((5 + RANDOM % 30))")
  ((RANDOM % 2)) && faults+=("garbage,rate=$((1 + RANDOM % 10))")
  ((RANDOM % 2)) && faults+=("split,rate=$((10 + RANDOM % 90))")
  ((RANDOM % 2)) && faults+=("delay,rate=1,count=3,ms=$((100 + RANDOM % 1400))")
  echo "${faults[*]}"
}

# The boot image a run leaves: the normal one, unless the device's updater-mode
# echo came too late (a delayed reply); then the run closes by programming the
# bridge image again before "Q0", "FU", "Z0", "FI", and that one stays.
last_boot_image() {
  if grep -q ' > FU$' "$1"; then
    echo "$package/BOOT_EXT_PONT.HEX"
  else
    echo "$package/BOOT_EXT_OPTION.HEX"
  fi
}

survived=0
for ((i = 1; i <= runs; ++i)); do
  seed=$((base_seed + i))
  link=pty
  ((i % 2 == 0)) && link=tcp
  run="$work/run"
  rm -rf "$run"
  mkdir -p "$run"
  cp -r examples/package "$run/package"
  read -r -a faults <<< "$(fault_set "$seed")"
  fault_args=()
  for f in "${faults[@]}"; do fault_args+=(--fault "$f"); done
  endpoint=(--pty)
  [ "$link" = tcp ] && endpoint=(--tcp 0)
  start=$(date +%s%N)
  verdict="ok"
  if ! start_emulator soak.sh "${endpoint[@]}" --state "$run/device.state" --seed "$seed" \
         --log "$run/traffic.log" "${fault_args[@]}"; then
    verdict="the emulator did not start"
  else
    connection=(--port "$emulator_pty")
    [ "$link" = tcp ] && connection=(--tcp "$emulator_tcp")
    status=0
    "$updater" "$run/package/script.ini" "${connection[@]}" --timeout 30 \
      > "$run/update.log" 2>&1 || status=$?
    stop_emulator || verdict="the emulator could not save its state"
    if [ "$status" -ne 0 ]; then
      verdict="qelt-update exited $status: $(tail -n 2 "$run/update.log" | head -n 1)"
    elif ! "$emulator" --state "$run/device.state" "${expect_args[@]}" \
             --expect "boot=$(last_boot_image "$run/traffic.log")" > "$run/check.log" 2>&1; then
      verdict="the device does not hold the package: $(grep -v -E ' (matches|is [^,]*$)' \
        "$run/check.log" | head -n 1)"
    fi
  fi
  ms=$((($(date +%s%N) - start) / 1000000))
  # Noise bytes are never reply characters, so every "R" the device sent is one
  # request to send a record again.
  resends=$( (grep ' < ' "$run/traffic.log" 2>/dev/null || true) | tr -cd R | wc -c)
  result=ok
  [ "$verdict" = ok ] || result=FAILED
  printf '%4d/%d %-3s seed %-5d %3d.%d s %4d R  %-6s %s\n' "$i" "$runs" "$link" "$seed" \
    $((ms / 1000)) $((ms % 1000 / 100)) "$resends" "$result" "${faults[*]}"
  if [ "$verdict" = ok ]; then
    survived=$((survived + 1))
  else
    kept="$work/failed-$i"
    mv "$run" "$kept"
    echo "          $verdict" >&2
    echo "          kept: $kept" >&2
  fi
done

echo "== survived $survived of $runs"
[ "$survived" -eq "$runs" ]
