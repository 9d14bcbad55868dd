#!/usr/bin/env bash
# A drive logged by the dashboard against the simulated ECU, replayed by the simulator
# from the log (ecu-sim --replay-log) and logged again: line for line, every register
# the second log gives is within one count of the first's (each reading is rounded to
# the ECU's bytes once more).
# usage: replay.sh QUORVEL ECU_SIM
set -euo pipefail
quorvel=$1
ecu_sim=$2
E2E_NAME=replay
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"
need_tools Xvfb xdotool
work=$e2e_work
start_xvfb

lines() { if [ -f "$1" ]; then wc -l <"$1"; else echo 0; fi; }
at_least() { [ "$(lines "$2")" -ge "$1" ]; }

# drive RUN SIMULATOR-ARGS...: the dashboard with logging on and an engine chosen, until
# its log has 13 lines (a header and twelve polls), then File, Exit.
drive() {
  local run=$work/$1
  shift
  mkdir -p "$run"
  spawn "$ecu_sim" --link "$run/ecu" "$@" >/dev/null
  local sim=$last_pid
  wait_for 50 test -e "$run/ecu" || fail "no simulator for $run"
  (cd "$run" && QUORVEL_PORTS="$run/ecu" exec "$quorvel") 2>"$run/stderr" &
  local program=$!
  e2e_pids+=("$program")
  local wid
  wid=$(find_window)
  xdotool key alt+l
  sleep 0.3
  xdotool key Return
  xdotool key alt+e
  sleep 0.3
  xdotool key Return
  wait_for 150 at_least 13 "$run/engine details.csv" || fail "$run: the log did not grow"
  xdotool windowfocus --sync "$wid" key alt+f
  sleep 0.3
  xdotool key x
  wait_exit "$program"
  [ "$exit_code" = 0 ] || fail "$run: File, Exit ended with $exit_code"
  kill "$sim"
}

drive first --speedup 4
drive second --replay-log "$work/first/engine details.csv"

# Both logs as register bytes, line by line: the two periods as words, the rest as bytes.
"$ecu_sim" --replay-log "$work/first/engine details.csv" --dump >"$work/first.bytes"
"$ecu_sim" --replay-log "$work/second/engine details.csv" --dump >"$work/second.bytes"
compared=$(awk 'NR == FNR { a[FNR] = $0; next }
  FNR in a {
    split(a[FNR], x, " "); n = split($0, y, " ")
    if (n != 18) { print "bad line " FNR; exit 1 }
    w1 = x[2] * 256 + x[3]; w2 = y[2] * 256 + y[3]; if (w1 - w2 > 1 || w2 - w1 > 1) { print "line " FNR " speed period " w1 " then " w2; exit 1 }
    w1 = x[4] * 256 + x[5]; w2 = y[4] * 256 + y[5]; if (w1 - w2 > 1 || w2 - w1 > 1) { print "line " FNR " injector period " w1 " then " w2; exit 1 }
    for (i = 6; i <= 18; i++) if (x[i] - y[i] > 1 || y[i] - x[i] > 1) { print "line " FNR " register " i - 1 ": " x[i] " then " y[i]; exit 1 }
    count++
  }
  END { print count + 0 }' "$work/first.bytes" "$work/second.bytes") || fail "the replayed log differs: $compared"
[ "$compared" -ge 12 ] || fail "only $compared lines compared"
echo "PASS: $compared logged polls replayed and logged again, every register within one count"
