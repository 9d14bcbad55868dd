# shellcheck shell=bash
# Sourced by the benchmark scripts: a work folder and an X server of their own, the
# simulated ECU, the program with an engine chosen, and the processor time it takes.
# Everything started here ends with the script.

work=$(mktemp -d)
bench_pids=()
bench_cleanup() {
  local p
  for p in "${bench_pids[@]}"; do kill "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap bench_cleanup EXIT

# An X server of its own; DISPLAY is set for what follows, and the work folder is current.
start_display() {
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
  bench_pids+=($!)
  for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
  DISPLAY=":$(cat "$work/display")"
  export DISPLAY
  cd "$work" || exit 1
}

# start_sim ECU_SIM [OPTIONS...]: the simulated ECU on $work/ecu, misbehaving as the
# options say; its pid in $sim.
start_sim() {
  local ecu_sim=$1
  shift
  rm -f "$work/ecu"
  "$ecu_sim" --link "$work/ecu" "$@" >/dev/null &
  sim=$!
  bench_pids+=("$sim")
  for _ in $(seq 50); do [ -e "$work/ecu" ] && break; sleep 0.1; done
}

# start_engine COMMAND...: the program on $work/ecu, an engine chosen from the keyboard;
# its pid in $pid.
start_engine() {
  local wid
  QUORVEL_PORTS="$work/ecu" "$@" 2>/dev/null &
  pid=$!
  bench_pids+=("$pid")
  wid=$(timeout 30 xdotool search --sync --onlyvisible --name '^Fiat Punto 75 Mk1$' | head -1)
  xdotool windowfocus --sync "$wid"
  xdotool key alt+e
  sleep 0.3
  xdotool key Return
}

# start_polling COMMAND...: start_engine and three seconds to settle.
start_polling() {
  start_engine "$@"
  sleep 3
}

# The scheduler's own count of $pid's time on a processor, in ns: clock ticks sample a
# program that wakes 34 times a second too coarsely.
cpu_ns() { cat /proc/"$pid"/task/*/schedstat | awk '{ sum += $1 } END { printf "%.0f\n", sum }'; }

# cpu_share LABEL SECONDS: prints $pid's share of a core over the next SECONDS.
cpu_share() {
  local before after
  before=$(cpu_ns)
  sleep "$2"
  after=$(cpu_ns)
  kill -0 "$pid" || { echo "the program ended"; exit 1; }
  awk -v l="$1" -v t=$((after - before)) -v s="$2" \
    'BEGIN { printf "%s: %.3f%% of a core over %d s (%.1f ms on a processor)\n", l, 100 * t / 1e9 / s, s, t / 1e6 }'
}
