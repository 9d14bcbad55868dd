#!/usr/bin/env bash
# The Windows program under Wine: the time from starting it to the dashboard on screen,
# on a registered port that leads to the simulated ECU. The first start (Wine's own
# services coming up) is left out; the median of the next five is given.
# usage: bench/wine_first_paint.sh [WINDOWS_BUILD] [ECU_SIM]
set -euo pipefail
windows=$(realpath "${1:-build/windows}")
ecu_sim=$(realpath "${2:-build/release/ecu-sim}")
work=$(mktemp -d)
export WINEPREFIX=$work/prefix WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=-all WINEARCH=win64
xvfb=""
sim=""
pid=""
trap 'kill $pid $sim 2>/dev/null; wineserver -k >/dev/null 2>&1; kill $xvfb 2>/dev/null; rm -rf "$work"' EXIT
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
DISPLAY=":$(cat "$work/display")"
export DISPLAY
wineboot -i >/dev/null 2>&1
wineserver -p >/dev/null 2>&1 </dev/null || true
wine "$windows/register-port.exe" "ECU simulator (COM5)" >/dev/null 2>&1
"$ecu_sim" --link "$work/ecu" --custom-rate 7680 >/dev/null &
sim=$!
for _ in $(seq 50); do [ -e "$work/ecu" ] && break; sleep 0.1; done
ln -sfn "$work/ecu" "$WINEPREFIX/dosdevices/com5"
cd "$work"
# The dashboard is there when the Revs gauge's pink shows inside the window.
painted() {
  local wid
  wid=$(xdotool search --name '^Fiat Punto 75 Mk1$' 2>/dev/null | head -1) || return 1
  [ -n "$wid" ] || return 1
  [ "$(import -window "$wid" png:- 2>/dev/null | convert - -crop 1x1+97+300 +repage txt:- 2>/dev/null |
      tail -1 | grep -o '#[0-9A-F]\{6\}')" = "#FF80FF" ]
}
times=()
for run in 0 1 2 3 4 5; do
  start=$(date +%s%N)
  wine "$windows/quorvel.exe" >/dev/null 2>&1 &
  pid=$!
  for _ in $(seq 3000); do painted && break; sleep 0.01; done
  painted || { echo "the dashboard did not show within a minute"; exit 1; }
  ms=$((($(date +%s%N) - start) / 1000000))
  [ "$run" -gt 0 ] && times+=("$ms")
  kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null || true
  pid=
  while xdotool search --name '^Fiat Punto 75 Mk1$' >/dev/null 2>&1; do sleep 0.05; done
done
median=$(printf '%s\n' "${times[@]}" | sort -n | sed -n 3p)
echo "wine first paint: $median ms (median of ${times[*]})"
echo "exe size: $(stat -c %s "$windows/quorvel.exe") bytes"
