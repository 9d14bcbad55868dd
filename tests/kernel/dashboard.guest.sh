# shellcheck shell=sh
# The guest side of dashboard.sh: the dashboard on an X server of its own, with the
# system's own port list. Each step leaves a file in /mnt for the host, which pulls the
# lead out and puts it back when asked.
set -u
bin=$QUORVEL_BUILD
step() { echo "$*" >"/mnt/$1"; echo "step: $*"; }
# shellcheck source=guest_lib.sh
. "$(dirname "$0")/guest_lib.sh"

Xvfb :5 -screen 0 800x640x24 -nolisten tcp >/dev/null 2>&1 &
export DISPLAY=:5
waitfor "$(within 2)" xdpyinfo >/dev/null 2>&1 || { echo "no X server"; exit 1; }
echo "the emulated machine runs $slowness times slower than the host"
# QEMU's lead was there from the start: the program lists it once its driver has bound it.
lead_bound /dev/ttyUSB0 lead replug_by_host lead || skip "$unbound"
"$bin/quorvel" 2>/mnt/stderr &
program=$!
wid=$(timeout "$(within 3)" xdotool search --sync --onlyvisible --name '^Fiat Punto 75 Mk1$' | head -1)
[ -n "$wid" ] || { echo "no window"; exit 1; }
xdotool windowfocus --sync "$wid"
step started "window $wid"
sleep 2 # the first port's wake-up, whose bytes the host looks for

# The mouse: the list drops down under its face; its second row is the lead (COM3).
list_shown() { xdotool search --onlyvisible --name '^Quorvel list$' >/dev/null 2>&1; }
xdotool mousemove --window "$wid" 100 36 click 1
waitfor "$(within 1)" list_shown || { echo "the port list did not drop down"; exit 1; }
xdotool mousemove --window "$wid" 100 75 click 1
waitfor "$(within 1)" eval '! list_shown' || { echo "the port list stayed down"; exit 1; }
xdotool key alt+e
sleep 0.5
xdotool key Return
waitfor "$(within 1)" title_is "Fiat Punto MK1 55" || { echo "no engine chosen: $(title)"; exit 1; }
xdotool key alt+l
sleep 0.5
xdotool key Return
waitfor "$(within 3)" more_lines_than 3 || { echo "no lines logged: $(lines)"; exit 1; }
sleep 2
import -window "$wid" /mnt/window.png
cp "engine details.csv" /mnt/log-before.csv
step polled "$(lines) lines, title $(title)"

# The lead pulled out: the host does it when this file is there.
step pull "now"
waitfor "$(within 2)" title_is "Fiat Punto MK1 55 - the lead is not connected" ||
  { echo "not told the lead is gone: $(title)"; exit 1; }
kill -0 "$program" || { echo "the program ended when the lead went"; exit 1; }
gone=$(lines)
mark_plug lead # the host plugs it back once told it is gone
step pulled "$gone lines, title $(title)"
waitfor "$(within 10)" present /mnt/plugged || { echo "the host did not put the lead back"; exit 1; }
# The program is timed from the moment the lead's tty is there again: back within 3 s.
lead_bound /dev/ttyUSB0 lead replug_by_host lead || skip "$unbound"
waitfor "$(within 3)" title_is "Fiat Punto MK1 55" || { echo "not back within $(within 3) s of its tty bound: $(title)"; exit 1; }
waitfor "$(within 1)" more_lines_than "$gone" || { echo "no lines after the lead came back"; exit 1; }
step back "$(lines) lines, title $(title)"
"$bin/quorvel-ports" --no-driver-check >/mnt/listing-after 2>&1

xdotool key alt+f
sleep 0.5
xdotool key x
waitfor "$(within 1)" eval '! kill -0 $program 2>/dev/null' || { echo "File, Exit did not end the program"; exit 1; }
wait "$program"
echo "exit code $?" >/mnt/exit
cp "engine details.csv" /mnt/log.csv
