# shellcheck shell=bash
# Sourced by the key-cycle tests (Linux and Wine). key_cycle_drive WINDOW PROGRAM: with
# the program's window found and the simulator started by the caller's start_sim RECORD
# (its pid in $sim), in the program's folder: an engine chosen and logging on; the
# ignition off (the title says the ECU does not answer, no log line is written, the
# program wakes it again and again), on again (back by itself); the simulator killed
# (the lead is not connected) and started again behind the same link (back by itself);
# then File, Exit with the ECU asleep. The goals are 3 s back after key on and 1 s for
# File, Exit (bench/key_cycle.sh measures them); the waits allow them as lib.sh's within
# scales them to the machine.
# shellcheck disable=SC2154 # work and sim are the caller's, exit_code is wait_exit's
key_cycle_drive() {
  local wid=$1 program=$2 live="Fiat Punto MK1 55" log="engine details.csv"
  local silent="Fiat Punto MK1 55 - no answer from the ECU"
  local gone="Fiat Punto MK1 55 - the lead is not connected"
  local polled asleep woken on back start
  xdotool key alt+e
  sleep 0.5
  xdotool key Return
  wait_for "$(within 1)" title_is "$wid" "$live" || fail "Alt+E, Enter did not choose an engine"
  xdotool key alt+l
  sleep 0.5
  xdotool key Return
  wait_for "$(within 1)" file_has '^revs' "$log" || fail "Alt+L, Enter did not switch logging on"
  sleep 2
  polled=$(wc -l <"$log")
  [ "$polled" -ge 3 ] || fail "only $polled lines logged while the ECU answered"

  # Ignition off: the lead echoes, the ECU sleeps.
  kill -USR1 "$sim"
  wait_for "$(within 2)" title_is "$wid" "$silent" ||
    fail "the title did not say the ECU does not answer: $(xdotool getwindowname "$wid")"
  asleep=$(wc -l <"$log")
  sleep 4
  [ "$(wc -l <"$log")" = "$asleep" ] || fail "lines were logged while the ECU slept"
  woken=$(grep -c 'in 0x0F' "$work/record")
  [ "$woken" -ge 3 ] || fail "the program did not wake the ECU again while it slept ($woken wake-ups)"

  # Ignition on: back by itself.
  kill -USR2 "$sim"
  on=$(date +%s%N)
  wait_for "$(within 3)" title_is "$wid" "$live" || fail "not back within $(($(within 3) / 10)) s of the key turned on"
  echo "back $((($(date +%s%N) - on) / 1000000)) ms after key on"
  sleep 1.5
  [ "$(wc -l <"$log")" -gt "$asleep" ] || fail "no line logged after key on"
  [ "$(grep -c 'note awake' "$work/record")" -ge 2 ] || fail "the simulator's record shows no new wake-up"

  # The lead pulled out (the simulator ends, its pseudo-terminal hangs up), then put back.
  kill "$sim"
  wait_for "$(within 2)" title_is "$wid" "$gone" ||
    fail "the title did not say the lead is gone: $(xdotool getwindowname "$wid")"
  sleep 3
  kill -0 "$program" 2>/dev/null || fail "the program ended when the lead went"
  start_sim "$work/record2"
  back=$(date +%s%N)
  wait_for "$(within 3)" title_is "$wid" "$live" || fail "not back within $(($(within 3) / 10)) s of the lead put back"
  echo "back $((($(date +%s%N) - back) / 1000000)) ms after the lead was put back"
  wait_for "$(within 1)" file_has 'note awake' "$work/record2" || fail "the new simulator was not woken"

  # File, Exit with the ECU asleep: the window takes the keys within an exchange.
  kill -USR1 "$sim"
  wait_for "$(within 2)" title_is "$wid" "$silent" || fail "the title did not say the ECU does not answer"
  start=$(date +%s%N)
  xdotool key alt+f
  xdotool key x
  wait_for "$(within 1)" not_running "$program" || fail "File, Exit did not end the program with the ECU asleep"
  echo "File, Exit with the ECU asleep: $((($(date +%s%N) - start) / 1000000)) ms"
  wait_exit "$program"
  [ "$exit_code" = 0 ] || fail "exit code $exit_code"
}
