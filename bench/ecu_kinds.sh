#!/usr/bin/env bash
# ECUs as real ones are, on an X server: for each kind of the key-cycle tests' table (the
# first request after a wake-up let go by, registers that never answer, both at once) a
# fresh program with logging on, on the simulated ECU misbehaving so: the time from the
# engine chosen to the first line logged (the first poll shown), then CYCLES key cycles
# whose key on falls at a different phase of the program's retries each time, and the
# worst time from key on to the next line logged. The goal is 3 s for both. One line a
# kind; the dashboard itself (linux) or the Windows program under Wine (wine).
# usage: bench/ecu_kinds.sh linux|wine [CYCLES] [QUORVEL or WINDOWS_BUILD] [ECU_SIM]
set -euo pipefail
platform=${1:-linux}
cycles=${2:-4}
case $platform in
linux) program=$(realpath "${3:-build/release/quorvel}") ;;
wine) program=$(realpath "${3:-build/windows}")/quorvel.exe ;;
*)
  echo "usage: bench/ecu_kinds.sh linux|wine [CYCLES] [QUORVEL or WINDOWS_BUILD] [ECU_SIM]" >&2
  exit 2
  ;;
esac
ecu_sim=$(realpath "${4:-build/release/ecu-sim}")
[ -f "$program" ] && [ -x "$ecu_sim" ] || { echo "build first: $program, $ecu_sim" >&2; exit 1; }
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"
start_display
if [ "$platform" = wine ]; then
  export WINEPREFIX=$work/prefix WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=-all WINEARCH=win64
  wineboot -i >/dev/null 2>&1
  wineserver -p >/dev/null 2>&1 </dev/null || true
  wine "$(dirname "$program")/register-port.exe" "ECU simulator (COM5)" >/dev/null 2>&1
  trap 'wineserver -k >/dev/null 2>&1; bench_cleanup' EXIT
fi

now_ms() { echo $(($(date +%s%N) / 1000000)); }
lines() { if [ -f "engine details.csv" ]; then wc -l <"engine details.csv"; else echo 0; fi; }
# more_lines COUNT: until the log has more than COUNT lines, at most 20 s; the time taken
# on standard output, or false.
more_lines() {
  local start until
  start=$(now_ms)
  until=$((start + 20000))
  while [ "$(lines)" -le "$1" ]; do
    [ "$(now_ms)" -lt "$until" ] || return 1
    sleep 0.01
  done
  echo $(($(now_ms) - start))
}
title_now() { xdotool getwindowname "$wid" 2>/dev/null; }

# kind NAME ECU-SIM-OPTIONS...: a fresh program on such an ECU; prints its line.
kind() {
  local name=$1 chosen worst=0 took i asleep
  shift
  mkdir -p "$work/$name"
  cd "$work/$name"
  if [ "$platform" = wine ]; then
    # A pseudo-terminal keeps only the 38400 that Wine sets for 7680 with a divisor.
    start_sim "$ecu_sim" "$@" --custom-rate 7680
    ln -sfn "$work/ecu" "$WINEPREFIX/dosdevices/com5"
    wine "$program" >/dev/null 2>&1 &
  else
    start_sim "$ecu_sim" "$@"
    QUORVEL_PORTS="$work/ecu" "$program" 2>/dev/null &
  fi
  pid=$!
  wid=$(timeout 60 xdotool search --sync --onlyvisible --name '^Fiat Punto 75 Mk1$' | head -1)
  xdotool windowfocus --sync "$wid"
  sleep 2 # woken, and waiting for an engine
  xdotool key alt+l
  sleep 0.3
  xdotool key Return
  for _ in $(seq 100); do [ -f "engine details.csv" ] && break; sleep 0.05; done
  xdotool key alt+e
  sleep 0.3
  xdotool key Return
  chosen=$(more_lines 1) || { echo "$name: nothing read within 20 s of the engine chosen" >&2; exit 1; }
  for ((i = 0; i < cycles; i++)); do
    kill -USR1 "$sim"
    for _ in $(seq 400); do [ "$(title_now)" = "Fiat Punto MK1 55 - no answer from the ECU" ] && break; sleep 0.05; done
    # Off for 3 s and a part of the retries' cycle (up to 2 s) that differs each time.
    sleep "$(awk -v i="$i" -v n="$cycles" 'BEGIN { printf "%.3f", 3 + 2 * i / n }')"
    asleep=$(lines)
    kill -USR2 "$sim"
    took=$(more_lines "$asleep") || { echo "$name: not read within 20 s of key on" >&2; exit 1; }
    [ "$took" -gt "$worst" ] && worst=$took
  done
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  kill "$sim" 2>/dev/null || true
  [ "$platform" = wine ] && { wineserver -w 2>/dev/null || true; }
  printf '%-44s engine chosen to readings %5d ms; key on to readings %5d ms at worst of %d\n' \
    "$name" "$chosen" "$worst" "$cycles"
}

echo "ECU kinds, $platform:"
kind ideal
kind first-request-let-go --ignore-first
kind register-1-silent --silent-register 1
kind register-5-silent --silent-register 5
kind registers-43-44-silent --silent-register 43 --silent-register 44
kind registers-1-2-silent --silent-register 1 --silent-register 2
kind first-let-go,register-2-silent --ignore-first --silent-register 2
kind first-let-go,register-1-silent --ignore-first --silent-register 1
kind first-let-go,registers-2-4-silent --ignore-first --silent-register 2 --silent-register 3 --silent-register 4
kind first-let-go,registers-1-3-silent --ignore-first --silent-register 1 --silent-register 2 --silent-register 3
kind first-let-go,registers-5-9-16-silent --ignore-first --silent-register 5 --silent-register 9 --silent-register 16
kind first-let-go,registers-43-45-silent --ignore-first --silent-register 43 --silent-register 44 --silent-register 45
