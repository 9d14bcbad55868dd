#!/usr/bin/env bash
# The real program polling the simulated ECU on a pseudo-terminal, on an X server
# (Xvfb): the simulator's record shows the wake-up and the requests at their line speeds,
# the revs pointer follows the engine, and a fault lights the panel and clears again.
# Then the line dies as when an adapter is pulled out: the program carries on and still
# ends with File, Exit.
# usage: ecu_session.sh QUORVEL ECU_SIM HEADLESS_PICTURE
set -euo pipefail
quorvel=$1
ecu_sim=$2
headless_picture=$3
E2E_NAME=ecu-session
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"
# shellcheck source=record.sh
source "$(dirname "$0")/record.sh"
need_tools Xvfb xdotool import convert
work=$e2e_work
start_xvfb
cd "$work"

# Where to look, from the program's own tables.
"$headless_picture" --probes >probes
probe() { awk -v name="$1" '$1 == name { $1 = ""; sub(/^ /, ""); print }' probes; }
read -r revs_column <<<"$(probe revs_column)"
read -r revs_top revs_bottom <<<"$(probe revs_rows)"
read -r revs_zero revs_pixels revs_min revs_max <<<"$(probe revs_scale)"
read -r fault_x fault_y <<<"$(probe water_fault)"
panel=$(probe panel_colour)
lit=$(probe fault_colour)
[ -n "$revs_column" ] && [ -n "$fault_y" ] || fail "headless_picture --probes gave no places"

# Twice as fast: idle from 1 s, the rev to 5000 rpm from 5 s, held from 6 to 6.5 s and
# back by 7 s, the water sensor's fault from 10 to 15 s, in a cycle of 20 s from the
# wake-up. A screenshot shows the last poll's values, up to 0.7 s old.
spawn "$ecu_sim" --link "$work/ecu" --speedup 2 --record "$work/record" >/dev/null
sim=$last_pid
wait_for 50 test -e "$work/ecu" || fail "the simulator made no pseudo-terminal"
QUORVEL_PORTS="$work/ecu" spawn "$quorvel" 2>"$work/stderr"
program=$last_pid
wid=$(find_window)
xdotool key alt+e
sleep 0.3
xdotool key Return

wait_for 50 file_has "note awake" record || fail "the simulator was not woken"
start=$(date +%s%N)
# Sleeps until t seconds after the wake-up.
at() { sleep "$(awk -v t="$1" -v s="$start" -v n="$(date +%s%N)" 'BEGIN { d = t - (n - s) / 1e9; printf "%.3f", (d > 0 ? d : 0) }')"; }
shot() { import -window "$wid" "$work/$1.png"; }
at 3.5
shot idle
# The rev is held for only half a second: several screenshots around it, so that a late
# timer on a busy machine does not miss it.
for t in 5.9 6.2 6.5 6.8 7.1; do
  at "$t"
  shot "rev-$t"
done
at 12.5
shot fault
at 16.5
shot cleared

# The revs pointer: the rows of its column (below the menu bar) that are not the panel.
bar=20
pointer_rpm() {
  convert "$work/$1.png" -crop "1x$((revs_bottom - revs_top))+$revs_column+$((revs_top + bar))" +repage txt:- |
    awk -F'[,:]' -v top="$revs_top" -v panel="#$panel" -v zero="$revs_zero" -v pixels="$revs_pixels" \
      -v lo="$revs_min" -v hi="$revs_max" '
      NR > 1 && $0 !~ panel { y = $2 + top; sum += y; n++ }
      END { if (n == 0) print -1; else printf "%d\n", lo + (zero - sum / n) * (hi - lo) / pixels }'
}
pixel() { convert "$work/$1.png" -crop "1x1+$2+$(($3 + bar))" +repage -format '%[hex:p{0,0}]' info:; }

idle=$(pointer_rpm idle)
rev=0
for t in 5.9 6.2 6.5 6.8 7.1; do
  r=$(pointer_rpm "rev-$t")
  [ "$r" -gt "$rev" ] && rev=$r
done
[ "$idle" -ge 600 ] && [ "$idle" -le 1100 ] || fail "revs pointer at $idle rpm while idling"
[ "$rev" -ge 3500 ] || fail "revs pointer at most at $rev rpm during the rev to 5000"
[ "$(pixel fault "$fault_x" "$fault_y")" = "$lit" ] || fail "the water sensor's fault is not lit"
[ "$(pixel idle "$fault_x" "$fault_y")" = "$panel" ] || fail "the panel is lit before the fault"
[ "$(pixel cleared "$fault_x" "$fault_y")" = "$panel" ] || fail "the fault did not clear"

check_record record

# The adapter is pulled out: the program goes on, and File, Exit still ends it. Every
# call on the dead line fails at once, so the keys are taken between two polls (it took
# 15 s when each call waited out its time-out; bench/dead_line.sh measures it).
kill "$sim"
sleep 2
kill -0 "$program" 2>/dev/null || fail "the program ended when the line died"
xdotool key alt+f
sleep 0.3
xdotool key x
not_running() { ! kill -0 "$1" 2>/dev/null; }
wait_for 50 not_running "$program" || fail "File, Exit did not end the program within 5 s on a dead line"
wait_exit "$program"
[ "$exit_code" = 0 ] || fail "exit code $exit_code"
echo "PASS: wake-up and requests right, pointer at $idle then $rev rpm, fault lit and cleared, dead line survived"
