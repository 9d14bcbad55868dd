# shellcheck shell=bash
# Sourced by the end-to-end tests: their work folder, a virtual display, the processes
# they start, failures that keep what shows them, and waits. Set E2E_NAME first.
# QUORVEL_E2E_KEEP names where failures keep their screenshots, records and logs
# (default /tmp); each test keeps them in a folder of its own there.

e2e_work=$(mktemp -d)
e2e_pids=()

e2e_cleanup() {
  local i
  for ((i = ${#e2e_pids[@]} - 1; i >= 0; i--)); do
    kill "${e2e_pids[i]}" 2>/dev/null || true
  done
  if declare -F e2e_extra_cleanup >/dev/null; then e2e_extra_cleanup; fi
  rm -rf "$e2e_work"
}
trap e2e_cleanup EXIT

# SKIP (exit 77) unless every named tool is installed.
need_tools() {
  local tool
  for tool in "$@"; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
  done
}

# Ends the test as failed, keeping the pictures, records and logs of its work folder.
fail() {
  local keep
  keep="${QUORVEL_E2E_KEEP:-/tmp}/quorvel-e2e-${E2E_NAME:-test}"
  mkdir -p "$keep"
  find "$e2e_work" -maxdepth 3 -type f \( -name '*.png' -o -name 'record*' -o -name '*.csv' \
    -o -name 'stderr*' -o -name 'out*' -o -name 'console' -o -name 'qemu.*' -o -path '*/out/*' \) \
    -exec cp {} "$keep/" \; 2>/dev/null || true
  echo "FAIL: $* (kept in $keep)"
  exit 1
}

# A process in the background that the clean-up ends; its pid is in $last_pid.
spawn() {
  "$@" &
  last_pid=$!
  e2e_pids+=("$last_pid")
}

# An X server of its own: DISPLAY is set for what follows.
start_xvfb() {
  spawn Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$e2e_work/display" 2>/dev/null
  wait_for 50 test -s "$e2e_work/display" || fail "Xvfb did not start"
  DISPLAY=":$(cat "$e2e_work/display")"
  export DISPLAY
}

# How many times slower than it could this machine runs now: a shell loop's wall-clock
# time over the processor time it got (another process on the core makes it wait), at
# least 1. within SECONDS: wait_for's tries for something the program does in SECONDS on
# a quiet machine (its own limits: a poll, a wake-up, File, Exit within 1 s), scaled by the
# slowness, twice over, with 8 s for the round trips of X, xdotool and Wine.
e2e_slowness() {
  local TIMEFORMAT='%R %U %S' times
  times=$({ time /bin/sh -c 'i=0; while [ $i -lt 100000 ]; do i=$((i + 1)); done'; } 2>&1)
  awk -v t="$times" 'BEGIN { split(t, a, " "); cpu = a[2] + a[3]; s = cpu > 0 ? a[1] / cpu : 1
    printf "%d\n", s < 1 ? 1 : s + 0.999 }'
}
slowness=$(e2e_slowness)
within() { echo $((($1 * slowness * 2 + 8) * 10)); }

# wait_for TRIES COMMAND [ARGS...]: runs the command every 0.1 s until it succeeds, at
# most TRIES times.
wait_for() {
  local tries=$1 i
  shift
  for ((i = 0; i < tries; i++)); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}

# focus_shown SECONDS TITLE: the id of a window captioned TITLE (a regular expression)
# once it is on screen, with the keyboard given to it; nothing when none came in time.
# A window that has its title but is not mapped yet cannot take the focus (X answers
# BadMatch), so the search waits for a shown one and the focus is tried again.
focus_shown() {
  local wid
  wid=$(timeout "$1" xdotool search --sync --onlyvisible --name "$2" | head -1 || true)
  [ -n "$wid" ] || return 0
  wait_for 50 xdotool windowfocus --sync "$wid" 2>/dev/null || return 0
  echo "$wid"
}

# The main window of the program, found by its title; the keyboard goes to it.
find_window() {
  local wid
  wid=$(focus_shown "${1:-10}" '^Fiat Punto 75 Mk1$')
  [ -n "$wid" ] || fail "no window"
  echo "$wid"
}

title_is() { [ "$(xdotool getwindowname "$1")" = "$2" ]; }

# grep -q PATTERN FILE for waits: false while the file is not there yet.
file_has() { [ -f "$2" ] && grep -q -- "$1" "$2"; }

# Waits for a program the test started with spawn to end; its exit code is then in
# $exit_code. (Not in a $(...): a subshell cannot wait for its parent's children.)
# shellcheck disable=SC2034 # the caller reads exit_code
wait_exit() {
  exit_code=0
  wait "$1" || exit_code=$?
}

# For a command-line tool's tests, with the tool's path in $tool: run_tool NAME ARGS...
# keeps its output in $e2e_work/NAME.out and .err and its exit status in $status.
run_tool() {
  local name=$1
  shift
  status=0
  "$tool" "$@" >"$e2e_work/$name.out" 2>"$e2e_work/$name.err" || status=$?
}
# expect_status STATUS WHAT NAME: the last run_tool ended with STATUS.
expect_status() {
  [ "$status" = "$1" ] || fail "$2: exit status $status, not $1: $(cat "$e2e_work/$3.err")"
}
# fake_opener STATUS: xdg-open, first on PATH, notes what it was asked to open in
# opened.txt (in the work folder) and ends with STATUS, as a system's viewer would.
fake_opener() {
  mkdir -p "$e2e_work/opener"
  printf '#!/bin/sh\nprintf "%%s\\n" "$@" >"%s/opened.txt"\nexit %s\n' "$e2e_work" "$1" >"$e2e_work/opener/xdg-open"
  chmod +x "$e2e_work/opener/xdg-open"
  rm -f "$e2e_work/opened.txt"
  case ":$PATH:" in *":$e2e_work/opener:"*) ;; *) PATH=$e2e_work/opener:$PATH ;; esac
}
# expect_text FILE TEXT: FILE (in the work folder) says TEXT.
expect_text() { grep -qF -- "$2" "$e2e_work/$1" || fail "$1 lacks \"$2\": $(cat "$e2e_work/$1")"; }

# differing_pixels NAME WINDOW_PNG PORT REGISTERS: how many pixels of the window's client
# area (WINDOW_PNG, the whole window as import takes it) differ from the headless picture
# of the REGISTERS' values with PORT in the combo box, made by $headless_picture in the
# folder $e2e_work/NAME (its log is there too). The activity lamp is left out of both: it
# is lit whenever an exchange is under way.
# shellcheck disable=SC2154 # headless_picture is the caller's
differing_pixels() {
  local name=$1 window=$2 chosen=$3 registers=$4
  local dir=$e2e_work/$name
  mkdir -p "$dir"
  (cd "$dir" && "$headless_picture" "$chosen" "$registers" "$e2e_work/$name-raw.png")
  convert "$window" -crop 630x565+0+20 +repage -fill black -draw 'rectangle 0,0,16,16' \
    "$e2e_work/$name-client.png"
  convert "$e2e_work/$name-raw.png" -fill black -draw 'rectangle 0,0,16,16' "$e2e_work/$name-expected.png"
  compare -metric AE "$e2e_work/$name-client.png" "$e2e_work/$name-expected.png" null: 2>&1 || true
}
