#!/usr/bin/env bash
# The program's processor use while it polls the simulated ECU twice a second on an X
# server: every tick exchanges seventeen bytes with the activity lamp and redraws the
# gauges' moving parts.
# usage: bench/polling.sh [QUORVEL] [ECU_SIM] [SECONDS]
# With QUORVEL_PROFILE=FILE the program runs under callgrind instead, and FILE receives
# its profile (the figure is then meaningless).
set -euo pipefail
quorvel=$(realpath "${1:-build/release/quorvel}")
ecu_sim=$(realpath "${2:-build/release/ecu-sim}")
seconds=${3:-30}
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"
start_display
start_sim "$ecu_sim"
run=()
[ -n "${QUORVEL_PROFILE:-}" ] && run=(valgrind --tool=callgrind --callgrind-out-file="$QUORVEL_PROFILE")
start_polling "${run[@]}" "$quorvel"
cpu_share polling "$seconds"
if [ -n "${QUORVEL_PROFILE:-}" ]; then
  xdotool key alt+f
  xdotool key x
  wait "$pid" || true
fi
