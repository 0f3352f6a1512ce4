#!/usr/bin/env bash
# The end-to-end speed benchmark: the release runner (qelt-update) updates a fresh
# device played by `qelt-emulator --pace --exact` over a pseudo-terminal, from the sample
# package and from the full-size package, and the wall time is set against the
# serial line's limit: the serial time of the bytes each way at the speed they
# crossed at (the emulator counts them), the device's own working time, the one
# second before each Effect file plays and the card scripts' "wait" lines.
# First it checks how exactly the emulator keeps the line's timing (qelt-pace-check).
#   benchmarks/end_to_end.sh [--realtime] [--awake] [--only sample|full] [BUILD]
#     BUILD       a Release build with -DQELT_BENCHMARKS=ON (default build-rel): runs its
#                 qelt-update, qelt-emulator, qelt-make-package and qelt-pace-check
#     --realtime  runs the emulator, the check and the runner in the real-time class
#                 (chrt -f, needs the right to): on a machine busy with other work the
#                 figures then show the programs, not the queue for the processors
#     --awake     keeps every processor busy with a loop of the lowest class (chrt -i):
#                 a processor with nothing to do spins instead of halting, as with the
#                 kernel's idle=poll, so that waking a program costs what it costs on
#                 a busy machine, not a halted virtual processor's wake-up
#     --only P    one package: sample (about a minute) or full (about 25 minutes)
# Prints one line per package: wall time, limit, ratio, and the host's turnarounds
# (a reply's last byte to the next command's first byte) as the emulator saw them, and
# how late the emulator wrote its replies in all (its own share of the wall time).
set -euo pipefail
cd "$(dirname "$0")/.."
run=()
awake=""
packages="sample full"
while [ $# -gt 0 ]; do
  case "$1" in
    --realtime) run=(chrt -f 20) ;;
    --awake) awake=1 ;;
    --only) packages=$2; shift ;;
    -h|--help) sed -n '2,21p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) break ;;
  esac
  shift
done
build=${1:-build-rel}
update="$build/tools/qelt-update"
emulator="$build/emulator/qelt-emulator"
make_package="$build/tools/qelt-make-package"
pace_check="$build/benchmarks/qelt-pace-check"
for program in "$update" "$emulator" "$make_package" "$pace_check"; do
  [ -x "$program" ] || { echo "end_to_end.sh: $program is not built" >&2; exit 2; }
done

work=$(mktemp -d)
emulator_pid=""
stop_emulator() {
  if [ -n "$emulator_pid" ] && kill -0 "$emulator_pid" 2>/dev/null; then
    kill -TERM "$emulator_pid"
    wait "$emulator_pid" 2>/dev/null || true
  fi
  emulator_pid=""
}
awake_pids=()
stop_awake() {
  [ ${#awake_pids[@]} -gt 0 ] && kill "${awake_pids[@]}" 2>/dev/null
  awake_pids=()
}
trap 'stop_emulator; stop_awake; rm -rf "$work"' EXIT
if [ -n "$awake" ]; then
  for _ in $(seq "$(nproc)"); do
    chrt -i 0 sh -c 'while :; do :; done' &
    awake_pids+=($!)
  done
fi

# Starts a fresh paced device; sets `pty` to its pseudo-terminal.
start_emulator() {
  local out="$work/emulator.out"
  : > "$out"
  "${run[@]}" "$emulator" --pty --pace --exact "$@" > "$out" 2>&1 &
  emulator_pid=$!
  for _ in $(seq 1 200); do
    grep -q '^READY' "$out" && break
    sleep 0.05
  done
  grep -q '^READY' "$out" || { cat "$out" >&2; echo "end_to_end.sh: no emulator" >&2; exit 1; }
  pty=$(sed -n 's/^PTY //p' "$out")
}

# "key value" of the emulator's statistics file.
stat_value() { awk -v key="$2" '$1 == key { print $2 }' "$1"; }

# Milliseconds of the "wait N" lines of the card scripts in revision folder `rev1`
# (the emulator's default device type selects it).
script_waits_ms() {
  cat "$1"/rev1/*/script.ini | tr -d '\r' | awk '$1 == "wait" { sum += $2 } END { print sum + 0 }'
}

echo "== Pacing check: a tiny host that answers at once against qelt-emulator --pace"
start_emulator --stats "$work/check.stats"
"${run[@]}" "$pace_check" "$pty"
stop_emulator
# The floor of a turnaround on this machine: the check answers with one write, and
# the time is the system's (waking the host, the pseudo-terminal, waking the device).
echo "turnarounds of a host that answers at once: $(stat_value "$work/check.stats" turnarounds)," \
  "median $(stat_value "$work/check.stats" turnaround_median_us) us," \
  "99th percentile $(stat_value "$work/check.stats" turnaround_p99_us) us"

"$make_package" "$work/sample" > /dev/null
"$make_package" --full-size "$work/full" > /dev/null

echo
echo "== Updates of a fresh device, qelt-update against qelt-emulator --pace"
printf '%-10s %9s %9s %7s %6s %9s %9s %11s %9s %9s %9s\n' package wall_s limit_s ratio effect \
  waits_ms bytes turn_med_us turn_p99_us turn_sum_ms late_ms
for name in $packages; do
  package="$work/$name"
  stats="$work/$name.stats"
  start_emulator --stats "$stats"
  start_ns=$(date +%s%N)
  "${run[@]}" "$update" --port "$pty" "$package/script.ini" > "$work/$name.log" 2>&1 || {
    tail -n 20 "$work/$name.log" >&2
    echo "end_to_end.sh: the $name update failed" >&2
    exit 1
  }
  end_ns=$(date +%s%N)
  stop_emulator
  waits=$(script_waits_ms "$package")
  host_us=$(stat_value "$stats" host_line_us)
  device_us=$(stat_value "$stats" device_line_us)
  held_us=$(stat_value "$stats" held_back_us)
  plays=$(stat_value "$stats" effect_plays)
  bytes=$(( $(stat_value "$stats" host_bytes) + $(stat_value "$stats" device_bytes) ))
  awk -v name="$name" -v wall_ns=$((end_ns - start_ns)) -v host="$host_us" \
      -v device="$device_us" -v held="$held_us" -v plays="$plays" -v waits="$waits" \
      -v bytes="$bytes" -v med="$(stat_value "$stats" turnaround_median_us)" \
      -v p99="$(stat_value "$stats" turnaround_p99_us)" \
      -v sum="$(stat_value "$stats" turnaround_total_us)" \
      -v late="$(stat_value "$stats" late_total_us)" 'BEGIN {
    limit = (host + device + held) / 1e6 + plays * 1.0 + waits / 1e3
    wall = wall_ns / 1e9
    printf "%-10s %9.2f %9.2f %7.4f %6d %9d %9d %11d %9d %9.1f %9.1f\n", name, wall, limit,
           wall / limit, plays, waits, bytes, med, p99, sum / 1e3, late / 1e3
  }'
  [ -n "${KEEP_STATS:-}" ] && cp "$stats" "$KEEP_STATS.$name"
done
