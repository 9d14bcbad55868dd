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

# The simulated ECU on $work/ecu, recording to RECORD, misbehaving as the options say.
start_sim() {
  local record=$1
  shift
  spawn "$ecu_sim" --link "$work/ecu" --record "$record" "$@" >/dev/null
  sim=$last_pid
  wait_for 50 test -e "$work/ecu" || fail "the simulator made no pseudo-terminal"
}

start_sim "$work/record"
QUORVEL_PORTS="$work/ecu" spawn "$quorvel" 2>"$work/stderr"
program=$last_pid
key_cycle_drive "$(find_window)" "$program"
grep -q . "$work/stderr" && fail "the program wrote to standard error: $(cat "$work/stderr")"

# An ECU as real ones may be: it lets the first request after each wake-up go by, and
# register 5 never answers. After a key cycle it is read again, and woken once.
kill "$sim"
wait_for 50 not_running "$sim" || fail "the simulator did not end"
start_sim "$work/record-quirky" --ignore-first --silent-register 5
QUORVEL_PORTS="$work/ecu" spawn "$quorvel" 2>"$work/stderr-quirky"
program=$last_pid
wid=$(find_window)
live="Fiat Punto MK1 55"
xdotool key alt+e
sleep 0.5
xdotool key Return
wait_for 60 title_is "$wid" "$live" || fail "Alt+E, Enter did not choose an engine"
kill -USR1 "$sim"
wait_for 40 title_is "$wid" "$live - no answer from the ECU" ||
  fail "the title did not say the ECU does not answer: $(xdotool getwindowname "$wid")"
sleep 3
kill -USR2 "$sim"
on=$(date +%s%N)
wait_for 60 title_is "$wid" "$live" || fail "the ECU that lets a request go by is not back 6 s after key on"
echo "an ECU that lets its first request go by, with a silent register: back $((($(date +%s%N) - on) / 1000000)) ms after key on"
sleep 4
title_is "$wid" "$live" || fail "after key on the title says $(xdotool getwindowname "$wid")"
awake=$(grep -c 'note awake' "$work/record-quirky")
[ "$awake" = 2 ] || fail "the ECU was woken $awake times (once at the start and once after key on are right)"
grep -q 'let go by' "$work/record-quirky" || fail "the simulator let no request go by"
xdotool key alt+f
xdotool key x
wait_for 30 not_running "$program" || fail "File, Exit did not end the program"
grep -q . "$work/stderr-quirky" && fail "the program wrote to standard error: $(cat "$work/stderr-quirky")"
echo "PASS: key off and on, lead out and back: the title said it, nothing logged while asleep, back by itself; an ECU that lets a request go by is read again"
