#!/usr/bin/env bash
# The program on a dead line: it polls the simulated ECU, then the simulator goes away as
# a pulled-out adapter would; the processor use is measured, then the time from the keys
# of File, Exit to the end of the program.
# usage: bench/dead_line.sh [QUORVEL] [ECU_SIM] [SECONDS]
set -euo pipefail
quorvel=$(realpath "${1:-build/release/quorvel}")
ecu_sim=$(realpath "${2:-build/release/ecu-sim}")
seconds=${3:-20}
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
QUORVEL_PORTS="$work/ecu" "$quorvel" &
pid=$!
wid=$(timeout 10 xdotool search --sync --name '^Fiat Punto 75 Mk1$' | head -1)
xdotool windowfocus --sync "$wid"
xdotool key alt+e
sleep 0.3
xdotool key Return
sleep 3
kill "$sim"
sim=
sleep 1
# The scheduler's own count of the time on a processor, in ns: clock ticks sample a
# program that wakes 34 times a second too coarsely.
cpu_ns() { cat /proc/"$pid"/task/*/schedstat | awk '{ sum += $1 } END { printf "%.0f\n", sum }'; }
before=$(cpu_ns)
sleep "$seconds"
after=$(cpu_ns)
kill -0 "$pid" || { echo "the program ended"; exit 1; }
awk -v t=$((after - before)) -v s="$seconds" \
  'BEGIN { printf "dead line: %.3f%% of a core over %d s (%.1f ms on a processor)\n", 100 * t / 1e9 / s, s, t / 1e6 }'

# File, Exit: the menu opens and the item is chosen as soon as the program takes the keys.
start=$(date +%s%N)
xdotool key alt+f
xdotool key x
while kill -0 "$pid" 2>/dev/null; do
  sleep 0.01
  if [ $((($(date +%s%N) - start) / 1000000)) -gt 60000 ]; then echo "File, Exit did not end the program"; exit 1; fi
done
end=$(date +%s%N)
pid=
echo "exit on a dead line: $(((end - start) / 1000000)) ms from File, Exit to the end"
