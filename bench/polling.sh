#!/usr/bin/env bash
# The program's processor use while it polls the simulated ECU twice a second on an X
# server: every tick exchanges seventeen bytes with the activity lamp and redraws the
# gauges' moving parts.
# usage: bench/polling.sh [QUORVEL] [ECU_SIM] [SECONDS]
# With QUORVEL_PROFILE=FILE the program runs under callgrind instead, and FILE receives
# its profile (the figure is then meaningless).
set -euo pipefail
quorvel=$(realpath "${1:-build/release/quorvel}")
ecu_sim=$(realpath "${2:-build/release/ecu-sim}")
seconds=${3:-30}
work=$(mktemp -d)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb=$!
pid=""
sim=""
trap 'kill $xvfb $pid $sim 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
DISPLAY=":$(cat "$work/display")"
export DISPLAY
cd "$work"
"$ecu_sim" --link "$work/ecu" >/dev/null &
sim=$!
for _ in $(seq 50); do [ -e "$work/ecu" ] && break; sleep 0.1; done
run=()
[ -n "${QUORVEL_PROFILE:-}" ] && run=(valgrind --tool=callgrind --callgrind-out-file="$QUORVEL_PROFILE")
QUORVEL_PORTS="$work/ecu" "${run[@]}" "$quorvel" 2>/dev/null &
pid=$!
wid=$(timeout 30 xdotool search --sync --name '^Fiat Punto 75 Mk1$' | head -1)
xdotool windowfocus --sync "$wid"
xdotool key alt+e
sleep 0.3
xdotool key Return
sleep 3
# The scheduler's own count of the time on a processor, in ns: clock ticks sample a
# program that wakes 34 times a second too coarsely.
cpu_ns() { cat /proc/"$pid"/task/*/schedstat | awk '{ sum += $1 } END { printf "%.0f\n", sum }'; }
before=$(cpu_ns)
sleep "$seconds"
after=$(cpu_ns)
kill -0 "$pid" || { echo "the program ended"; exit 1; }
awk -v t=$((after - before)) -v s="$seconds" \
  'BEGIN { printf "polling: %.3f%% of a core over %d s (%.1f ms on a processor)\n", 100 * t / 1e9 / s, s, t / 1e6 }'
if [ -n "${QUORVEL_PROFILE:-}" ]; then
  xdotool key alt+f
  xdotool key x
  wait "$pid" || true
  pid=
fi
