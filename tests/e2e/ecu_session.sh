#!/usr/bin/env bash
# The real program polling the simulated ECU on a pseudo-terminal, on an X server
# (Xvfb): the simulator's record shows the wake-up and the requests at their line speeds,
# the revs pointer follows the engine, and a fault lights the panel and clears again.
# Then the line dies as when an adapter is pulled out: the program carries on and still
# ends with File, Exit.
# usage: ecu_session.sh QUORVEL ECU_SIM
set -euo pipefail
quorvel=$1
ecu_sim=$2
for tool in Xvfb xdotool import convert; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done

work=$(mktemp -d)
xvfb= program= sim=
cleanup() {
  for p in $program $sim $xvfb; do kill "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
source "$(dirname "$0")/record.sh"
fail() {
  mkdir -p /tmp/quorvel-e2e && cp "$work"/*.png "$work/record" /tmp/quorvel-e2e/ 2>/dev/null || true
  echo "FAIL: $* (screenshots and the record kept in /tmp/quorvel-e2e)"
  exit 1
}

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"
cd "$work"

# Twice as fast: idle from 1 s, the rev to 5000 rpm from 5 s, held from 6 to 6.5 s and
# back by 7 s, the water sensor's fault from 10 to 15 s, in a cycle of 20 s from the
# wake-up. A screenshot shows the last poll's values, up to 0.7 s old.
"$ecu_sim" --link "$work/ecu" --speedup 2 --record "$work/record" >/dev/null &
sim=$!
for _ in $(seq 50); do [ -e "$work/ecu" ] && break; sleep 0.1; done
QUORVEL_PORTS="$work/ecu" "$quorvel" 2>"$work/stderr" &
program=$!
wid=$(timeout 10 xdotool search --sync --name '^Fiat Punto 75 Mk1$' | head -1)
[ -n "$wid" ] || fail "no window"
xdotool windowfocus --sync "$wid"
xdotool key alt+e
sleep 0.3
xdotool key Return

awake=$(awk '/note awake/ { print $1; exit }' record 2>/dev/null || true)
for _ in $(seq 50); do
  awake=$(awk '/note awake/ { print $1; exit }' record)
  [ -n "$awake" ] && break
  sleep 0.1
done
[ -n "$awake" ] || fail "the simulator was not woken"
start=$(date +%s%N)
# Sleeps until t seconds after the wake-up.
at() { sleep "$(awk -v t="$1" -v s="$start" -v n="$(date +%s%N)" 'BEGIN { d = t - (n - s) / 1e9; printf "%.3f", (d > 0 ? d : 0) }')"; }
shot() { import -window "$wid" "$work/$1.png"; }
at 3.5; shot idle
# The rev is held for only half a second: several screenshots around it, so that a late
# timer on a busy machine does not miss it.
for t in 5.9 6.2 6.5 6.8 7.1; do at "$t"; shot "rev-$t"; done
at 12.5; shot fault
at 16.5; shot cleared

# The revs pointer: the rows of column x 22 (below the menu bar) that are not the panel.
pointer_rpm() {
  convert "$work/$1.png" -crop 1x360+22+70 +repage txt:- |
    awk -F'[,:]' 'NR > 1 && $0 !~ /#FF80FF/ { y = $2 + 50; sum += y; n++ }
                  END { if (n == 0) print -1; else printf "%d\n", (405 - sum / n) * 8000 / 350 }'
}
pixel() { convert "$work/$1.png" -crop "1x1+$2+$(($3 + 20))" +repage -format '%[hex:p{0,0}]' info:; }

idle=$(pointer_rpm idle)
rev=0
for t in 5.9 6.2 6.5 6.8 7.1; do
  r=$(pointer_rpm "rev-$t")
  [ "$r" -gt "$rev" ] && rev=$r
done
[ "$idle" -ge 600 ] && [ "$idle" -le 1100 ] || fail "revs pointer at $idle rpm while idling"
[ "$rev" -ge 3500 ] || fail "revs pointer at most at $rev rpm during the rev to 5000"
[ "$(pixel fault 195 506)" = "FF0000" ] || fail "the water sensor's fault is not lit"
[ "$(pixel idle 195 506)" = "FF80FF" ] || fail "the panel is lit before the fault"
[ "$(pixel cleared 195 506)" = "FF80FF" ] || fail "the fault did not clear"

check_record record

# The adapter is pulled out: the program goes on, and File, Exit still ends it.
kill "$sim"
wait "$sim" 2>/dev/null || true
sim=
sleep 2
kill -0 "$program" 2>/dev/null || fail "the program ended when the line died"
# Every call on the dead line fails at once, so the keys are taken between two polls
# and the program ends within a poll or two (it took 15 s when each call waited out its
# time-out; bench/dead_line.sh measures it).
xdotool key alt+f
sleep 0.3
xdotool key x
for _ in $(seq 50); do kill -0 "$program" 2>/dev/null || break; sleep 0.1; done
kill -0 "$program" 2>/dev/null && fail "File, Exit did not end the program within 5 s on a dead line"
set +e
wait "$program"
code=$?
set -e
program=
[ "$code" -eq 0 ] || fail "exit code $code"
echo "PASS: wake-up and requests right, pointer at $idle then $rev rpm, fault lit and cleared, dead line survived"
