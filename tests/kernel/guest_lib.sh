# shellcheck shell=sh
# Sourced by the guest sides: waiting for a file or a command, the dashboard's title, and
# the log's length in the working folder. $wid is the guest script's window.
waitfor() { # waitfor SECONDS COMMAND...: every 0.2 s until it succeeds
  tries=0
  limit=$(($1 * 5))
  shift
  while ! "$@"; do
    tries=$((tries + 1))
    [ "$tries" -lt "$limit" ] || return 1
    sleep 0.2
  done
}
present() { [ -e "$1" ]; }
absent() { [ ! -e "$1" ]; }
# shellcheck disable=SC2154 # wid is the guest script's
title() { xdotool getwindowname "$wid" 2>/dev/null; }
title_is() { [ "$(title)" = "$1" ]; }
lines() { if [ -f "engine details.csv" ]; then wc -l <"engine details.csv"; else echo 0; fi; }
more_lines_than() { [ "$(lines)" -gt "$1" ]; }
