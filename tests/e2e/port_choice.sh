#!/usr/bin/env bash
# Two ports on an X server (Xvfb): the first listed has no ECU behind it, the second the
# simulated ECU with fixed register values. The user chooses the second with the mouse,
# the first and the second again with the keyboard; each choice wakes the chosen port.
# Then the dashboard shows the second port's values, as the headless picture of the same
# state does, and the log holds them.
# usage: port_choice.sh QUORVEL HEADLESS_PICTURE ECU_SIM REGISTERS
set -euo pipefail
quorvel=$1
headless_picture=$2
ecu_sim=$3
registers=$4
E2E_NAME=port-choice
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"
need_tools Xvfb xdotool import compare convert
work=$e2e_work
start_xvfb

mkdir "$work/run"
cd "$work/run"
# Sorted by name, "ecu-absent (COM1)" comes first and is opened at start.
spawn "$ecu_sim" --link "$work/ecu-absent" --silent --no-echo --record "$work/record-absent"
spawn "$ecu_sim" --link "$work/ecu-lead" --replay "$registers" --record "$work/record-lead"
wait_for 50 test -e "$work/ecu-absent" || fail "no first simulator"
wait_for 50 test -e "$work/ecu-lead" || fail "no second simulator"
QUORVEL_PORTS="$work/ecu-absent:$work/ecu-lead" spawn "$quorvel" 2>"$work/stderr"
program=$last_pid
wid=$(find_window)

count() { grep -c -- "$1" "$2" 2>/dev/null || true; }
at_least() { [ "$(count "$2" "$3")" -ge "$1" ]; }

wait_for 30 at_least 1 ' 1200 in 0xCC' "$work/record-absent" || fail "the first port was not woken"
[ "$(count ' in ' "$work/record-lead")" -eq 0 ] || fail "the second port was used before it was chosen"

# The mouse: the list opens under its box, and the second row is chosen.
xdotool mousemove --window "$wid" 100 36 click 1
sleep 0.4
xdotool mousemove --window "$wid" 100 75 click 1
wait_for 30 at_least 1 'note awake' "$work/record-lead" ||
  fail "choosing the second port with the mouse did not wake it"

# The keyboard: Up chooses the first port again, then Alt+Down, Down, Enter the second.
xdotool key Up
wait_for 30 at_least 2 ' 1200 in 0xCC' "$work/record-absent" ||
  fail "choosing the first port with the Up key did not wake it again"
xdotool key alt+Down
sleep 0.4
xdotool key Down
sleep 0.2
xdotool key Return
wait_for 30 at_least 2 'note awake' "$work/record-lead" ||
  fail "choosing the second port with Alt+Down, Down, Enter did not wake it again"

# Each wake-up of the lead: the three bytes at 1200 baud, then requests at 7680 only.
awk '$3 == "in" && $2 == 1200 { printf "%s ", $4 }' "$work/record-lead" |
  grep -q '^0x0F 0xAA 0xCC 0x0F 0xAA 0xCC $' || fail "wake-ups of the lead: $(cat "$work/record-lead")"

xdotool key alt+e
sleep 0.3
xdotool key Return
wait_for 50 title_is "$wid" "Fiat Punto MK1 55" || fail "Alt+E, Enter did not choose an engine"
xdotool key alt+l
sleep 0.3
xdotool key Return
wait_for 50 test -s "engine details.csv" || fail "Alt+L, Enter did not switch logging on"
sleep 3

import -window "$wid" "$work/window.png"
differing=$(differing_pixels headless "$work/window.png" "ecu-lead (COM2)" "$registers")
[ "$differing" = 0 ] || fail "$differing pixels differ from the headless picture of the lead's values"

wait_for 50 at_least 2 '' "engine details.csv" || fail "no data line in the log"
line=$(sed -n 2p "engine details.csv" | tr -d '\r')
[ "$line" = "$(sed -n 2p "$work/headless/engine details.csv" | tr -d '\r')" ] ||
  fail "the log does not hold the lead's values: $line"

xdotool key alt+f
sleep 0.3
xdotool key x
wait_exit "$program"
[ "$exit_code" = 0 ] || fail "File, Exit ended with code $exit_code: $(cat "$work/stderr")"
echo "PASS: the first port woken, the second chosen by mouse and keyboard and woken each time, its values on the dashboard and in the log"
