#!/usr/bin/env bash
# The program's cost at rest on an X server, and its time from start to first paint.
# usage: bench/x11_idle.sh [QUORVEL] [SECONDS]
set -euo pipefail
quorvel=$(realpath "${1:-build/release/quorvel}")
seconds=${2:-30}
work=$(mktemp -d)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb=$!
trap 'kill $xvfb $pid 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
DISPLAY=":$(cat "$work/display")"
export DISPLAY
cd "$work"
QUORVEL_PORTS=/dev/ptmx QUORVEL_REPORT_STARTUP=1 "$quorvel" 2>"$work/stderr" &
pid=$!
sleep 2
# The scheduler's own count of the time on a processor, in ns.
cpu_ns() { cat /proc/"$pid"/task/*/schedstat | awk '{ sum += $1 } END { printf "%.0f\n", sum }'; }
before=$(cpu_ns)
sleep "$seconds"
after=$(cpu_ns)
grep 'first paint' "$work/stderr" || true
awk '/^VmRSS/ { printf "resident memory: %d kB with the window open\n", $2 }' "/proc/$pid/status"
awk -v t=$((after - before)) -v s="$seconds" \
  'BEGIN { printf "idle: %.3f%% of a core over %d s (%.1f ms on a processor)\n", 100 * t / 1e9 / s, s, t / 1e6 }'
