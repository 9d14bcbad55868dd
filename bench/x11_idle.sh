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
export DISPLAY=":$(cat "$work/display")"
cd "$work"
QUORVEL_PORTS=/dev/ptmx QUORVEL_REPORT_STARTUP=1 "$quorvel" 2>"$work/stderr" &
pid=$!
sleep 2
ticks() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
hz=$(getconf CLK_TCK)
before=$(ticks)
sleep "$seconds"
after=$(ticks)
grep 'first paint' "$work/stderr" || true
awk '/^VmRSS/ { printf "resident memory: %d kB with the window open\n", $2 }' "/proc/$pid/status"
awk -v t=$((after - before)) -v hz="$hz" -v s="$seconds" \
  'BEGIN { printf "idle: %.3f%% of a core over %d s (%d clock ticks)\n", 100 * t / hz / s, s, t }'
