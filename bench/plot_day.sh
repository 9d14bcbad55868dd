#!/usr/bin/env bash
# The time quorvel-plot takes for a day of log (172,800 polls) to SVG and to PNG, and
# the SVG's size. The day's readings vary from line to line, with a rev now and then.
# usage: bench/plot_day.sh [QUORVEL_PLOT]
set -euo pipefail
tool=$(realpath "${1:-build/release/quorvel-plot}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
awk 'BEGIN {
  print "revs, water temp, air temp, throttle, injector period, advance, volts, pressure, VAE, error 1, error 2, error 3, , revs, water temp, air temp, throttle, injector timing, advance, volts, pressure, VAE\r"
  for (i = 0; i < 172800; i++) {
    rev = (i % 80 >= 20 && i % 80 < 28) ? 4000 : 0
    printf "%f, %f, 25.000000, %f, 2.000000, 20.000000, 14.000000, 800.000000, 35.000000, %d, 0, 0, , 62, 80, 44, 34, 0, 26, 93, 64, 35\r\n", 850 + rev + (i % 7) * 3, 20 + 70 * (i < 600 ? i / 600 : 1), 2 + rev / 100, (i % 80 >= 40 && i % 80 < 60) ? 8 : 0
  }
}' >day.csv
seconds() {
  local start end
  start=$(date +%s%N)
  "$@" >/dev/null || { echo "quorvel-plot failed: $*" >&2; exit 1; }
  end=$(date +%s%N)
  awk -v n=$((end - start)) 'BEGIN { printf "%.2f", n / 1e9 }'
}
svg=$(seconds "$tool" day.csv -o day.svg)
png=$(seconds "$tool" day.csv -o day.png)
echo "plot a day: $svg s to SVG, $png s to PNG, SVG $(stat -c %s day.svg) bytes"
