#!/usr/bin/env bash
# A session as a person has it, on an X server (Xvfb), with the simulated ECU answering
# fixed register values: start the real program, choose an engine and switch logging on
# with the keyboard, compare the window with the headless picture of the same state,
# check the log, and end with File, Exit.
# usage: x11_session.sh QUORVEL HEADLESS_PICTURE ECU_SIM REGISTERS
# With QUORVEL_VALGRIND=1 the program runs under valgrind's memcheck: any error, or a
# block definitely lost outside the libraries named in valgrind.supp, fails the session.
set -euo pipefail
quorvel=$1
headless_picture=$2
ecu_sim=$3
registers=$4
run_under=()
patience=1
if [ "${QUORVEL_VALGRIND:-0}" = 1 ]; then
  command -v valgrind >/dev/null || { echo "SKIP: valgrind is not installed"; exit 77; }
  run_under=(valgrind --leak-check=full --errors-for-leak-kinds=definite --error-exitcode=99
             --suppressions="$(dirname "$0")/../valgrind.supp" --num-callers=30)
  patience=10 # everything is some ten times slower
fi

E2E_NAME=x11-session
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"
work=$e2e_work
start_xvfb

mkdir "$work/run"
cd "$work/run"
spawn "$ecu_sim" --link "$work/ecu" --replay "$registers" --record "$work/record" >/dev/null
wait_for 50 test -e "$work/ecu" || fail "the simulator made no pseudo-terminal"
QUORVEL_PORTS="$work/ecu" spawn "${run_under[@]}" "$quorvel" 2>"$work/stderr"
program=$last_pid
wid=$(find_window $((10 * patience)))
tries=$((50 * patience))

# A desktop tells a busy window from a hung one by its process and machine.
if command -v xprop >/dev/null; then
  pid=$(xprop -id "$wid" _NET_WM_PID | awk '{ print $3 }')
  machine=$(xprop -id "$wid" WM_CLIENT_MACHINE | sed 's/.*= "\(.*\)"/\1/')
  [ "$pid" = "$program" ] || [ ${#run_under[@]} -gt 0 ] || fail "_NET_WM_PID is $pid, not $program"
  [ "$machine" = "$(hostname)" ] || fail "WM_CLIENT_MACHINE is $machine, not $(hostname)"
  xprop -id "$wid" WM_PROTOCOLS | grep -q _NET_WM_PING || fail "the window does not answer _NET_WM_PING"
  # The program's icon, in every size it carries, for the task bar and the window list.
  sizes=$(xprop -notype -id "$wid" _NET_WM_ICON | grep -o 'Icon ([0-9]* x [0-9]*)' | tr '\n' ' ')
  for size in 16 32 48; do
    case $sizes in *"($size x $size)"*) ;; *) fail "_NET_WM_ICON has no ${size}x$size image: $sizes" ;; esac
  done
fi

xdotool key alt+e
sleep 0.3
xdotool key Return
wait_for "$tries" title_is "$wid" "Fiat Punto MK1 55" ||
  fail "Alt+E, Enter did not choose an engine: $(xdotool getwindowname "$wid")"

xdotool key alt+l
sleep 0.3
xdotool key Return
wait_for "$tries" test -s "engine details.csv" || fail "Alt+L, Enter did not switch logging on"

# The check mark moved: in the Logging popup, "Logging on" (highlighted, first) now
# carries the white mark on its blue row and "Logging off" none.
check_marks() {
  xdotool key alt+l
  popup=$(timeout $((5 * patience)) xdotool search --sync --name '^Quorvel menu$' | head -1)
  import -window "$popup" "$work/popup.png"
  xdotool key Escape Escape
  for row in 0 1; do
    convert "$work/popup.png" -crop "12x12+5+$((5 + 22 * row))" +repage txt:- |
      awk 'NR > 1 { split($2, c, "[(),]"); if (c[2] + c[3] + c[4] > 750 || c[2] + c[3] + c[4] < 150) ink++ }
           END { printf "%s ", (ink > 3 ? "checked" : "clear") }'
  done
}
marks=$(check_marks)
[ "$marks" = "checked clear " ] || fail "check marks after Logging on: $marks"
head -c 9 "engine details.csv" | grep -q '^revs, wat' || fail "the log has no header"

sleep 3 # about the same seconds of ticks as the headless picture
import -window "$wid" "$work/window.png"
differing=$(differing_pixels headless "$work/window.png" "ecu (COM1)" "$registers")
[ "$differing" = "0" ] || fail "$differing pixels differ between the window and the headless picture"
# Every data line of the log carries the simulator's values.
two_lines() { [ "$(wc -l <"engine details.csv")" -ge 2 ]; }
wait_for "$tries" two_lines || fail "no data line in the log"
line=$(sed -n 2p "engine details.csv" | tr -d '\r')
[ "$line" = "5000.000000, 90.000000, 25.000000, 30.908199, 2.000000, 20.000000, 14.000000, 800.000000, 35.000000, 9, 2, 0, , 62, 80, 44, 34, 0, 26, 93, 64, 35" ] ||
  fail "unexpected log line: $line"

xdotool key alt+f
sleep 0.3
xdotool key x
wait_exit "$program"
[ "$exit_code" = 0 ] || fail "File, Exit ended with code $exit_code: $(cat "$work/stderr")"
if [ ${#run_under[@]} -gt 0 ]; then
  grep -E 'ERROR SUMMARY|definitely lost' "$work/stderr"
fi
grep -q '^[0-9]* 1200 in 0xCC' "$work/record" || fail "the simulator saw no wake-up at 1200 baud"
echo "PASS: engine chosen, logging on, window equal to the headless picture, log lines right, exit code 0"
