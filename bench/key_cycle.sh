#!/usr/bin/env bash
# Key cycles on an X server: the program polls the simulated ECU, the ignition goes off
# (SIGUSR1 to the simulator) and on again after a pause that falls at a different phase
# of the program's wake-up retries each time; the time from key on to the plain title
# (the first answered poll) is measured, the worst of CYCLES printed. Then, for RUNS
# fresh programs with the ECU asleep, the time from the keys of File, Exit to the end of
# the program, the worst printed. Then the same key cycles with an ECU that lets its
# first request after a wake-up go by; and File, Exit in
# fresh programs on a lead that gives nothing back (no echo, no ECU), at phases of the
# polls from the first one on.
# usage: bench/key_cycle.sh [QUORVEL] [ECU_SIM] [CYCLES] [RUNS]
set -euo pipefail
quorvel=$(realpath "${1:-build/release/quorvel}")
ecu_sim=$(realpath "${2:-build/release/ecu-sim}")
cycles=${3:-8}
runs=${4:-5}
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"
start_display

now_ms() { echo $(($(date +%s%N) / 1000000)); }
# wait_title TITLE: until the program's window has it, at most 20 s; false after that.
wait_title() {
  local until=$(($(now_ms) + 20000))
  while [ "$(xdotool getwindowname "$wid" 2>/dev/null)" != "$1" ]; do
    [ "$(now_ms)" -lt "$until" ] || return 1
    sleep 0.01
  done
}
# key_cycles: the worst time from key on to the plain title over $cycles key cycles of
# the program in window $wid on the simulator $sim.
key_cycles() {
  local i on took worst=0
  for ((i = 0; i < cycles; i++)); do
    kill -USR1 "$sim"
    wait_title "$silent" || { echo "the title never said the ECU sleeps" >&2; exit 1; }
    # Off for 3 s and a part of the retries' cycle (about 1.9 s) that differs each time.
    sleep "$(awk -v i="$i" -v n="$cycles" 'BEGIN { printf "%.3f", 3 + 1.9 * i / n }')"
    kill -USR2 "$sim"
    on=$(now_ms)
    wait_title "$live" || { echo "not back 20 s after key on" >&2; exit 1; }
    took=$(($(now_ms) - on))
    [ "$took" -gt "$worst" ] && worst=$took
  done
  echo "$worst"
}

# exit_time: the time from the keys of File, Exit to the end of the program $pid.
exit_time() {
  local start
  start=$(now_ms)
  xdotool key alt+f
  xdotool key x
  while kill -0 "$pid" 2>/dev/null; do
    sleep 0.005
    [ $(($(now_ms) - start)) -lt 60000 ] || { echo "File, Exit did not end the program" >&2; exit 1; }
  done
  echo $(($(now_ms) - start))
}
live="Fiat Punto MK1 55"
silent="Fiat Punto MK1 55 - no answer from the ECU"

# key_cycle_run: a fresh program polling the simulator $sim through the key cycles, ended
# after them; worst_on is the worst time from key on to the plain title.
key_cycle_run() {
  start_polling "$quorvel"
  wid=$(xdotool search --name "^$live\$" | head -1)
  worst_on=$(key_cycles)
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}

start_sim "$ecu_sim"
key_cycle_run
echo "live again after key on: $worst_on ms at worst over $cycles key cycles"

worst_exit=0
for ((i = 0; i < runs; i++)); do
  start_polling "$quorvel"
  wid=$(xdotool search --name "^$live\$" | head -1)
  kill -USR1 "$sim"
  wait_title "$silent" || { echo "the title never said the ECU sleeps"; exit 1; }
  sleep "$(awk -v i="$i" -v n="$runs" 'BEGIN { printf "%.3f", 1.9 * i / n }')"
  took=$(exit_time)
  [ "$took" -gt "$worst_exit" ] && worst_exit=$took
  kill -USR2 "$sim"
done
echo "exit with the ECU asleep: $worst_exit ms at worst over $runs runs"
kill "$sim" 2>/dev/null || true

start_sim "$ecu_sim" --ignore-first
key_cycle_run
echo "live again after key on, an ECU that lets its first request go by: $worst_on ms at worst over $cycles key cycles"
kill "$sim" 2>/dev/null || true

# Nothing comes back at all: each read waits out its time-out.
start_sim "$ecu_sim" --silent --no-echo
worst_exit=0
for ((i = 0; i < runs; i++)); do
  start_engine "$quorvel"
  # From the first poll (at 0.86 s) on, at a phase that differs each time.
  sleep "$(awk -v i="$i" -v n="$runs" 'BEGIN { printf "%.3f", 0.6 + 1.5 * i / n }')"
  took=$(exit_time)
  [ "$took" -gt "$worst_exit" ] && worst_exit=$took
done
echo "exit on a lead that gives nothing back: $worst_exit ms at worst over $runs runs"
