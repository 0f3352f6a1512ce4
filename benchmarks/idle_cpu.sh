#!/usr/bin/env bash
# The window's CPU use while idle: starts qelt-updater offscreen (no display needed)
# in an empty folder, lets it settle, then reads its user and system time from
# /proc/PID/stat over SECONDS seconds of wall time and prints the share of one core.
#   benchmarks/idle_cpu.sh [BUILD] [SECONDS]   BUILD default build-rel, SECONDS 60
# Linux only (/proc).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-rel}
seconds=${2:-60}
window="$build/app/ui/qelt-updater"
[ -x "$window" ] || { echo "idle_cpu.sh: $window is not built" >&2; exit 2; }

work=$(mktemp -d)
pid=""
trap '[ -n "$pid" ] && kill -TERM "$pid" 2>/dev/null; rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work/xdg" HOME="$work"
mkdir -m 700 "$work/xdg"
(cd "$work" && exec "$OLDPWD/$window") > "$work/window.log" 2>&1 &
pid=$!
sleep 5  # start-up work (fonts, first layout) is not idle time

# utime + stime in clock ticks: fields 14 and 15 of /proc/PID/stat, counted after
# the command name's closing parenthesis (the name may hold blanks).
cpu_ticks() { sed 's/^.*) //' "/proc/$pid/stat" | awk '{ print $12 + $13 }'; }

ticks_per_second=$(getconf CLK_TCK)
before=$(cpu_ticks)
start_ns=$(date +%s%N)
sleep "$seconds"
after=$(cpu_ticks)
end_ns=$(date +%s%N)
kill -0 "$pid" 2>/dev/null || { cat "$work/window.log" >&2; echo "idle_cpu.sh: the window ended" >&2; exit 1; }
awk -v ticks=$((after - before)) -v hz="$ticks_per_second" -v ns=$((end_ns - start_ns)) 'BEGIN {
  cpu = ticks / hz
  printf "idle window: %.2f s of CPU in %.1f s: %.3f %% of one core\n", cpu, ns / 1e9, 100 * cpu / (ns / 1e9)
}'
