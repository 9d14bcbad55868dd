#!/usr/bin/env bash
# The program's cost at rest on an X server, and its time from start to first paint.
# usage: bench/x11_idle.sh [QUORVEL] [SECONDS]
set -euo pipefail
quorvel=$(realpath "${1:-build/release/quorvel}")
seconds=${2:-30}
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"
start_display
QUORVEL_PORTS=/dev/ptmx QUORVEL_REPORT_STARTUP=1 "$quorvel" 2>"$work/stderr" &
pid=$!
bench_pids+=("$pid")
sleep 2
cpu_share idle "$seconds"
grep 'first paint' "$work/stderr" || true
awk '/^VmRSS/ { printf "resident memory: %d kB with the window open\n", $2 }' "/proc/$pid/status"
