# shellcheck shell=sh
# The guest side of chips_dashboard.sh: for each chip, its lead played in the gadget side,
# the dashboard on an X server with the system's own list, the lead chosen by mouse, an
# engine and logging; then what the chip allows: live readings (and, for the CH340, the
# lead pulled out and put back), or the refused rate told once and the ECU unheard.
set -u
bin=$QUORVEL_BUILD
# shellcheck source=guest_lib.sh
. "$(dirname "$0")/guest_lib.sh"
boxes() { xdotool search --onlyvisible --name '^Serial port error$' 2>/dev/null | wc -l; }
a_box() { [ "$(boxes)" -gt 0 ]; }
# A check that failed while the lead's driver timed out (since the chip was plugged) says
# nothing of the program: the driver kept the old rate. It skips, saying so.
fail() {
  why=$(driver_timeout)
  [ -z "$why" ] || skip "$chip: $* while the lead's driver timed out ($why): the machine is too slow for the emulated USB, not a fault of the program"
  echo "$chip: $*"
  exit 1
}

"$bin/ecu-sim" --link /tmp/ecu --no-echo --replay "$QUORVEL_REGISTERS" >/dev/null &
waitfor "$(within 1)" present /tmp/ecu || { echo "the simulated ECU made no line"; exit 1; }
Xvfb :5 -screen 0 800x640x24 -nolisten tcp >/dev/null 2>&1 &
export DISPLAY=:5
waitfor "$(within 2)" xdpyinfo >/dev/null 2>&1 || { echo "no X server"; exit 1; }
echo "the emulated machine runs $slowness times slower than the host"
list_shown() { xdotool search --onlyvisible --name '^Quorvel list$' >/dev/null 2>&1; }
list_gone() { ! list_shown; }

for chip in $QUORVEL_CHIPS; do
  mkdir -p "/tmp/work/$chip"
  cd "/tmp/work/$chip" || exit 1
  mark_plug "$chip"
  "$bin/tests/lead_gadget" --chip "$chip" --ecu /tmp/ecu --record /mnt/rates >"/mnt/gadget-$chip" 2>&1 &
  gadget=$!
  lead_bound /dev/ttyUSB0 "$chip" replug_gadget "$gadget" "$chip" || skip "$unbound"
  mark "$chip in use"
  "$bin/quorvel-ports" --no-driver-check | sed -n 's/^COM[0-9]*  \(.*\)$/\1/p' | grep -v '^Communications Port' >"/mnt/name-$chip"
  "$bin/quorvel" 2>"/mnt/stderr-$chip" &
  program=$!
  wid=$(timeout "$(within 3)" xdotool search --sync --onlyvisible --name '^Fiat Punto 75 Mk1$' | head -1)
  [ -n "$wid" ] || fail "no window"
  xdotool windowfocus --sync "$wid"
  # The list's second row is the lead (the console's UART, COM1, is the first).
  xdotool mousemove --window "$wid" 100 36 click 1
  waitfor "$(within 1)" list_shown || fail "the port list did not drop down"
  xdotool mousemove --window "$wid" 100 75 click 1
  waitfor "$(within 1)" list_gone || fail "the port list stayed down"
  if [ "$chip" = cp2102 ]; then
    # The wake-up's reopen at 7680 is refused: one box; then the ECU is not heard.
    waitfor "$(within 2)" a_box || fail "no box for the refused rate"
    box=$(xdotool search --onlyvisible --name '^Serial port error$' | head -1)
    xdotool windowfocus --sync "$box"
    xdotool key Return
    sleep 1
    xdotool windowfocus --sync "$wid"
    xdotool key alt+e
    sleep 0.5
    xdotool key Return
    waitfor "$(within 2)" title_is "Fiat Punto MK1 55 - no answer from the ECU" || fail "the title says $(title)"
    sleep 5 # the retries, each of which could show the box again
    echo "$(boxes) boxes more after the first" >"/mnt/boxes-$chip"
  else
    xdotool key alt+e
    sleep 0.5
    xdotool key Return
    waitfor "$(within 1)" title_is "Fiat Punto MK1 55" || fail "no engine chosen: $(title)"
    xdotool key alt+l
    sleep 0.5
    xdotool key Return
    waitfor "$(within 3)" more_lines_than 3 || fail "no lines logged: $(lines), title $(title)"
    sleep 2
    import -window "$wid" "/mnt/window-$chip.png"
    cp "engine details.csv" "/mnt/log-$chip.csv"
    if [ "$chip" = ch340 ]; then
      kill -USR1 "$gadget"
      waitfor "$(within 2)" title_is "Fiat Punto MK1 55 - the lead is not connected" || fail "not told the lead is gone: $(title)"
      gone=$(lines)
      sleep 2
      mark_plug "$chip"
      kill -USR2 "$gadget"
      # The program is timed from the moment the lead's tty is there again: back within 3 s.
      lead_bound /dev/ttyUSB0 "$chip" replug_gadget "$gadget" "$chip" || skip "$unbound"
      mark "$chip in use again"
      waitfor "$(within 3)" title_is "Fiat Punto MK1 55" || fail "not back within $(within 3) s of its tty bound: $(title)"
      waitfor "$(within 1)" more_lines_than "$gone" || fail "no lines after the lead came back"
      "$bin/quorvel-ports" --no-driver-check >"/mnt/listing-after-$chip" 2>&1
      echo "pulled and back" >"/mnt/back-$chip"
    fi
  fi
  xdotool key alt+f
  sleep 0.5
  xdotool key x
  waitfor "$(within 1)" eval '! kill -0 $program 2>/dev/null' || fail "File, Exit did not end the program"
  wait "$program"
  echo "exit code $?" >"/mnt/exit-$chip"
  kill "$gadget"
  wait "$gadget"
  waitfor "$(within 2)" absent /dev/ttyUSB0 || fail "the tty stayed"
  echo "$chip: done"
done
