#!/usr/bin/env bash
# Runs every benchmark on the release build, in one run, and writes the figures with
# their goals into docs/performance.md.
# usage: bench/run-all.sh [OUTPUT]   (default docs/performance.md)
set -euo pipefail
cd "$(dirname "$0")/.."
output=${1:-docs/performance.md}
cmake --preset release >/dev/null
cmake --build --preset release -j"$(nproc)" >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "dashboard..." >&2
build/release/bench/dashboard_bench --benchmark_format=csv --benchmark_repetitions=5 \
  --benchmark_report_aggregates_only=true 2>/dev/null >"$work/dashboard.csv"
median_us() { awk -F, -v n="\"$1_median\"" '$1 == n { print $3 }' "$work/dashboard.csv"; }
paint_us=$(median_us BM_PaintDashboard)
update_us=$(median_us BM_UpdateDashboard)

echo "poll over a pseudo-terminal..." >&2
QUORVEL_ECU_SIM=build/release/ecu-sim build/release/bench/poll_bench --benchmark_format=csv \
  2>/dev/null >"$work/poll.csv"
poll_ms=$(awk -F, '$1 ~ /BM_PollOverPty/ { print $3 }' "$work/poll.csv")
poll_ratio=$(awk -F, '$1 == "name" { for (i = 1; i <= NF; i++) { h = $i; gsub("\"", "", h); if (h == "floor_ratio") c = i } }
                      $1 ~ /BM_PollOverPty/ { print $c }' "$work/poll.csv")

echo "at rest on an X server (30 s)..." >&2
bench/x11_idle.sh build/release/quorvel 30 >"$work/idle.txt"
first_paint_ms=$(awk '/first paint/ { for (i = 1; i <= NF; i++) if ($i == "ms" || $i ~ /ms$/) { v = $(i - 1); if ($i ~ /[0-9]ms$/) v = $i; gsub("ms", "", v); print v; exit } }' "$work/idle.txt")
idle_pct=$(awk '/^idle:/ { gsub("%", "", $2); print $2 }' "$work/idle.txt")
rss_kb=$(awk '/^resident memory:/ { print $3 }' "$work/idle.txt")

echo "dead line (20 s)..." >&2
bench/dead_line.sh build/release/quorvel build/release/ecu-sim 20 >"$work/dead.txt"
dead_pct=$(awk '/^dead line:/ { gsub("%", "", $3); print $3 }' "$work/dead.txt")
dead_exit_ms=$(awk '/^exit on a dead line:/ { print $6 }' "$work/dead.txt")

echo "key cycles (about 2 minutes)..." >&2
bench/key_cycle.sh build/release/quorvel build/release/ecu-sim 8 5 >"$work/keycycle.txt"
key_on_ms=$(awk '/^live again after key on:/ { print $6 }' "$work/keycycle.txt")
asleep_exit_ms=$(awk '/^exit with the ECU asleep:/ { print $6 }' "$work/keycycle.txt")
quirky_on_ms=$(sed -n 's/^live again after key on, an ECU.*: \([0-9]*\) ms at worst.*/\1/p' "$work/keycycle.txt")
mute_exit_ms=$(awk '/^exit on a lead that gives nothing back:/ { print $9 }' "$work/keycycle.txt")

echo "polling the simulator (30 s)..." >&2
bench/polling.sh build/release/quorvel build/release/ecu-sim 30 >"$work/polling.txt"
polling_pct=$(awk '/^polling:/ { gsub("%", "", $2); print $2 }' "$work/polling.txt")

echo "plotting a day of log..." >&2
bench/plot_day.sh build/release/quorvel-plot >"$work/plot.txt"
plot_svg_s=$(awk '/^plot a day:/ { print $4 }' "$work/plot.txt")
plot_png_s=$(awk '/^plot a day:/ { print $8 }' "$work/plot.txt")
plot_svg_mb=$(awk '/^plot a day:/ { printf "%.2f", $13 / 1048576 }' "$work/plot.txt")

wine_ms=
exe_bytes=
if command -v wine >/dev/null && [ -f build/windows/quorvel.exe ]; then
  echo "first paint under Wine..." >&2
  bench/wine_first_paint.sh build/windows build/release/ecu-sim >"$work/wine.txt"
  wine_ms=$(awk '/^wine first paint:/ { print $4 }' "$work/wine.txt")
  exe_bytes=$(awk '/^exe size:/ { print $3 }' "$work/wine.txt")
fi

# figure, measured, unit, goal (same unit; empty for none)
row() {
  awk -v f="$1" -v m="$2" -v u="$3" -v g="$4" 'BEGIN {
    if (m == "") { printf "| %s | not measured | %s | | |\n", f, (g == "" ? "" : g " " u); exit }
    if (g == "") { printf "| %s | %s %s | | | |\n", f, m, u; exit }
    r = m / g
    printf "| %s | %s %s | %s %s | %.3f | %s |\n", f, m, u, g, u, r, (r < 1 ? "yes" : "**no**")
  }'
}
{
  echo "# Performance"
  echo
  echo "Measured by \`bench/run-all.sh\` on $(date -u +%Y-%m-%d), on $(nproc) cores of"
  echo "\"$(awk -F': ' '/model name/ { print $2; exit }' /proc/cpuinfo)\", release build. The ratio is"
  echo "the figure divided by its goal: below 1 meets it. The machines are shared, so single"
  echo "figures move from run to run; the ratios tell more than the absolute times."
  echo
  echo "| figure | measured | goal | ratio | met |"
  echo "|---|---|---|---|---|"
  row "Full repaint of the dashboard (\`PaintDashboard\`, headless)" "$paint_us" "µs" 1000
  row "Tick update (\`UpdateDashboard\`, headless)" "$update_us" "µs" 200
  row "One poll over a pseudo-terminal, as a ratio to the 17 × 10 ms floor ($poll_ms ms)" "$poll_ratio" "× floor" 1.05
  row "Start to first paint on an X server (Xvfb)" "$first_paint_ms" "ms" 200
  row "Processor at rest, window open, no engine chosen (30 s)" "$idle_pct" "% of a core" 1
  row "Processor while polling the simulator twice a second (30 s)" "$polling_pct" "% of a core" 0.5
  row "Processor while the line is dead (20 s)" "$dead_pct" "% of a core" 1
  row "File, Exit to the end of the program on a dead line" "$dead_exit_ms" "ms" 1500
  row "File, Exit with the ECU asleep (worst of 5)" "$asleep_exit_ms" "ms" 1000
  row "Live again after key on (worst of 8 key cycles at different phases)" "$key_on_ms" "ms" 3000
  row "The same with an ECU that lets its first request after a wake-up go by" "$quirky_on_ms" "ms" 3000
  row "File, Exit on a lead that gives nothing back, from the first poll on (worst of 5)" "$mute_exit_ms" "ms" 1000
  row "A day of log (172,800 polls) plotted to SVG" "$plot_svg_s" "s" 3
  row "A day of log plotted to PNG" "$plot_png_s" "s" 3
  row "Size of the day's SVG" "$plot_svg_mb" "MB" 2
  row "Resident memory with the window open" "$(awk -v k="$rss_kb" 'BEGIN { if (k != "") printf "%.1f", k / 1024 }')" "MB" 20
  row "Start to first paint under Wine (median of 5, after a first start)" "$wine_ms" "ms" ""
  row "Size of \`quorvel.exe\` (MinGW, static)" "$(awk -v b="$exe_bytes" 'BEGIN { if (b != "") printf "%.0f", b / 1024 }')" "KB" ""
  echo
  unmet=$(grep -c '\*\*no\*\*' <<<"$(row x "$paint_us" u 1000; row x "$update_us" u 200; row x "$poll_ratio" u 1.05; row x "$first_paint_ms" u 200; row x "$idle_pct" u 1; row x "$polling_pct" u 0.5; row x "$dead_pct" u 1; row x "$dead_exit_ms" u 1500; row x "$asleep_exit_ms" u 1000; row x "$key_on_ms" u 3000; row x "$quirky_on_ms" u 3000; row x "$mute_exit_ms" u 1000; row x "$plot_svg_s" u 3; row x "$plot_png_s" u 3; row x "$plot_svg_mb" u 2; row x "$(awk -v k="$rss_kb" 'BEGIN { if (k != "") print k / 1024 }')" u 20)" || true)
  if [ "$unmet" -eq 0 ]; then
    echo "Every goal is met."
  else
    echo "Goals not met: $unmet (marked **no** above)."
  fi
  echo
  echo "## How each is measured"
  echo
  echo "- Paint and update: \`build/release/bench/dashboard_bench\` (Google Benchmark, median of"
  echo "  five repetitions) draws the dashboard on the headless backend, whose pixels are cairo's."
  echo "- Poll: \`build/release/bench/poll_bench\` wakes \`ecu-sim --reply-delay 0\` over a real"
  echo "  pseudo-terminal and times twenty whole polls; each exchange waits 10 ms by design, so"
  echo "  170 ms is the floor."
  echo "- First paint, rest and memory: \`bench/x11_idle.sh\` starts the program on Xvfb; the"
  echo "  layer reports the first paint's time after start (\`QUORVEL_REPORT_STARTUP\`); the"
  echo "  processor time comes from \`/proc/PID/stat\` and the memory from \`VmRSS\`."
  echo "- Polling: \`bench/polling.sh\` has the program poll \`ecu-sim\` on Xvfb and reads the
  scheduler's count of its processor time (\`/proc/PID/task/*/schedstat\`) over 30 s. A
  bare loop of the protocol's own calls (purge, write, 10 ms pause, read, seventeen times
  a poll) costs about 0.38% of a core on these machines; the rest is the drawing.
- Plot: \`bench/plot_day.sh\` writes a day of log (172,800 polls) and times
  \`quorvel-plot\` on it to SVG and to PNG.
- Dead line: \`bench/dead_line.sh\` polls the simulator, kills it (the pseudo-terminal
  hangs up, as a pulled-out adapter does), measures the processor for 20 s, then times
  from the keys of File, Exit to the end of the program.
- Key cycles: \`bench/key_cycle.sh\` switches the simulator's ignition off (SIGUSR1) and on
  (SIGUSR2) eight times, each pause ending at another phase of the program's wake-up
  retries, and times from key on to the plain title (the first answered poll); then, in
  five fresh programs with the ECU asleep, from the keys of File, Exit to the end; the
  key cycles again with an ECU that lets its first request after a wake-up go by
  (\`--ignore-first\`); and File, Exit in
  five fresh programs on a lead that gives nothing back (\`--silent --no-echo\`), pressed
  from the first poll on."
  echo "- Wine: \`bench/wine_first_paint.sh\` times from \`wine quorvel.exe\` to the dashboard's"
  echo "  pink on screen, polling the window every 10 ms or so (a coarse clock: it includes"
  echo "  Wine's start of the process)."
} >"$output"
cat "$output"
