#!/usr/bin/env bash
# A session as a person has it, on an X server (Xvfb): start the real program, choose an
# engine and switch logging on with the keyboard, compare the window with the headless
# picture of the same state, and end with File, Exit.
# usage: x11_session.sh QUORVEL HEADLESS_PICTURE
set -euo pipefail
quorvel=$1
headless_picture=$2
for tool in Xvfb xdotool import compare; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done

work=$(mktemp -d)
xvfb=
program=
cleanup() {
  [ -n "$program" ] && kill "$program" 2>/dev/null || true
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"

mkdir "$work/run" "$work/headless"
cd "$work/run"
# /dev/ptmx stands for a serial line nobody answers on: a new pseudo-terminal.
QUORVEL_PORTS=/dev/ptmx "$quorvel" 2>"$work/stderr" &
program=$!
wid=$(timeout 10 xdotool search --sync --name '^Fiat Punto 75 Mk1$' | head -1)
[ -n "$wid" ] || fail "no window"
xdotool windowfocus --sync "$wid"

title() { xdotool getwindowname "$wid"; }
wait_for() { for _ in $(seq 50); do eval "$1" && return 0; sleep 0.1; done; return 1; }

xdotool key alt+e
sleep 0.3
xdotool key Return
wait_for '[ "$(title)" = "Fiat Punto MK1 55" ]' || fail "Alt+E, Enter did not choose an engine: $(title)"

xdotool key alt+l
sleep 0.3
xdotool key Return
wait_for '[ -s "engine details.csv" ]' || fail "Alt+L, Enter did not switch logging on"
head -c 9 "engine details.csv" | grep -q '^revs, wat' || fail "the log has no header"

sleep 2.2 # the same two seconds of ticks as the headless picture
import -window "$wid" "$work/window.png"
convert "$work/window.png" -crop 630x565+0+20 +repage "$work/client.png"
(cd "$work/headless" && "$headless_picture" "ptmx (COM1)" "$work/headless.png")
differing=$(compare -metric AE "$work/client.png" "$work/headless.png" null: 2>&1 || true)
if [ "$differing" != "0" ]; then
  mkdir -p "${QUORVEL_E2E_KEEP:-/tmp}/quorvel-e2e"
  cp "$work"/*.png "${QUORVEL_E2E_KEEP:-/tmp}/quorvel-e2e/"
  fail "$differing pixels differ between the window and the headless picture (kept in ${QUORVEL_E2E_KEEP:-/tmp}/quorvel-e2e)"
fi

xdotool key alt+f
sleep 0.3
xdotool key x
set +e
wait "$program"
code=$?
set -e
program=
[ "$code" -eq 0 ] || fail "File, Exit ended with code $code: $(cat "$work/stderr")"
echo "PASS: engine chosen, logging on, window equal to the headless picture, exit code 0"
