#!/usr/bin/env bash
# The program's processor use while its line is dead: it polls the simulated ECU, then
# the simulator goes away as a pulled-out adapter would, and the use is measured.
# usage: bench/dead_line.sh [QUORVEL] [ECU_SIM] [SECONDS]
set -euo pipefail
quorvel=$(realpath "${1:-build/release/quorvel}")
ecu_sim=$(realpath "${2:-build/release/ecu-sim}")
seconds=${3:-20}
work=$(mktemp -d)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb=$!
pid= sim=
trap 'kill $xvfb $pid $sim 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"
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
ticks() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
hz=$(getconf CLK_TCK)
before=$(ticks)
sleep "$seconds"
after=$(ticks)
kill -0 "$pid" || { echo "the program ended"; exit 1; }
awk -v t=$((after - before)) -v hz="$hz" -v s="$seconds" \
  'BEGIN { printf "dead line: %.3f%% of a core over %d s (%d clock ticks)\n", 100 * t / hz / s, s, t }'
