#!/usr/bin/env bash
# A drive with a key cycle and a pulled lead, on an X server (Xvfb), with the real program
# on the simulated ECU (key_cycle_drive.sh says what happens and what is checked).
# usage: key_cycle.sh QUORVEL ECU_SIM
set -euo pipefail
quorvel=$1
ecu_sim=$2
E2E_NAME=key-cycle
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"
# shellcheck source=key_cycle_drive.sh
source "$(dirname "$0")/key_cycle_drive.sh"
need_tools Xvfb xdotool
work=$e2e_work
start_xvfb
cd "$work"
not_running() { ! kill -0 "$1" 2>/dev/null; }

# The simulated ECU on $work/ecu, recording to RECORD; its pid in $sim.
start_sim() {
  spawn "$ecu_sim" --link "$work/ecu" --record "$1" >/dev/null
  sim=$last_pid
  wait_for 50 test -e "$work/ecu" || fail "the simulator made no pseudo-terminal"
}

start_sim "$work/record"
QUORVEL_PORTS="$work/ecu" spawn "$quorvel" 2>"$work/stderr"
program=$last_pid
key_cycle_drive "$(find_window)" "$program"
grep -q . "$work/stderr" && fail "the program wrote to standard error: $(cat "$work/stderr")"
echo "PASS: key off and on, lead out and back: the title said it, nothing logged while asleep, back by itself"
