#!/usr/bin/env bash
# The program on a dead line: it polls the simulated ECU, then the simulator goes away as
# a pulled-out adapter would; the processor use is measured, then the time from the keys
# of File, Exit to the end of the program.
# usage: bench/dead_line.sh [QUORVEL] [ECU_SIM] [SECONDS]
set -euo pipefail
quorvel=$(realpath "${1:-build/release/quorvel}")
ecu_sim=$(realpath "${2:-build/release/ecu-sim}")
seconds=${3:-20}
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"
start_display
start_sim "$ecu_sim"
start_polling "$quorvel"
kill "$sim"
sleep 1
cpu_share "dead line" "$seconds"

# File, Exit: the menu opens and the item is chosen as soon as the program takes the keys.
start=$(date +%s%N)
xdotool key alt+f
xdotool key x
while kill -0 "$pid" 2>/dev/null; do
  sleep 0.01
  if [ $((($(date +%s%N) - start) / 1000000)) -gt 60000 ]; then echo "File, Exit did not end the program"; exit 1; fi
done
end=$(date +%s%N)
echo "exit on a dead line: $(((end - start) / 1000000)) ms from File, Exit to the end"
