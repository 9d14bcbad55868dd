#!/usr/bin/env bash
# The Windows program under Wine, on an X server (Xvfb).
# usage: wine.sh prefix     PREFIX [win32]
#        wine.sh behaviour  PREFIX WINDOWS_BUILD
#        wine.sh port-error PREFIX WINDOWS_BUILD
#        wine.sh session    PREFIX WINDOWS_BUILD ECU_SIM REGISTERS HEADLESS_PICTURE
#        wine.sh port-choice PREFIX WINDOWS_BUILD ECU_SIM REGISTERS
#        wine.sh key-cycle  PREFIX WINDOWS_BUILD ECU_SIM
#        wine.sh ports      PREFIX WINDOWS_BUILD ECU_SIM
#        wine.sh timeouts   PREFIX WINDOWS_BUILD SERIAL_PEER
#        wine.sh languages  PREFIX WINDOWS_BUILD ECU_SIM REGISTERS HEADLESS_PICTURE QUORVEL_PLOT
# prefix makes a fresh Wine prefix, which the others use (win32: a 32-bit one, for the x86
# build; where 32-bit Wine is not installed it says so, and the checks in that prefix
# skip with the reason): the behaviour tests as a
# console program; the program with no serial port (its port error box, then exit 0);
# a whole session on a registered port that leads to the simulated ECU; a second port
# without an ECU that sorts first, and the user's choice of the simulator's port; a key
# cycle and a pulled lead on a registered port of its own; quorvel-ports.exe on a CP210x
# lead whose driver takes 7680 baud and on a port it must not open, and the dashboard's
# title on a silent CP210x lead; the table of serial
# read time-outs on a pseudo-terminal; the program in Polish and Italian, its texts drawn as
# the Linux program draws them (Polish in code page 1250), and quorvel-plot.exe's picture
# the Linux one's, byte for byte.
set -euo pipefail
check=$1
export WINEPREFIX
WINEPREFIX=$(realpath -m "$2")
windows=${3:-}
if [ "$check" != prefix ]; then
  [ -f "$windows/quorvel.exe" ] ||
    { echo "SKIP: no Windows build in $windows (cmake --preset windows && cmake --build --preset windows)"; exit 77; }
  if [ ! -f "$WINEPREFIX/system.reg" ] && [ -f "$WINEPREFIX.no-wine32" ]; then
    echo "SKIP: $(cat "$WINEPREFIX.no-wine32")"
    exit 77
  fi
  [ -f "$WINEPREFIX/system.reg" ] || { echo "FAIL: no Wine prefix in $WINEPREFIX"; exit 1; }
fi
# No .NET or Gecko installer prompts; Wine's own chatter off.
export WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=-all

E2E_NAME=wine-$check
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"
need_tools wine wineboot wineserver Xvfb xdotool import compare
# shellcheck source=record.sh
source "$(dirname "$0")/record.sh"
work=$e2e_work
e2e_extra_cleanup() { wineserver -k >/dev/null 2>&1 || true; }
# Wine asks for wine32 on a 64-bit-only installation: that line is not an error here.
quiet() { grep -v -e 'wine32 is missing' -e 'multiarch needs' -e 'dpkg --add-architecture' -e 'apt-get install wine32' >&2 || true; }

start_xvfb

# The server, started here with its output discarded: on its way out it lists its objects.
wineserver -p </dev/null >/dev/null 2>&1 || true

not_running() { ! kill -0 "$1" 2>/dev/null; }

# menu_bar_height WINDOW: the rows of the picture's menu bar, white down to the first row of
# the dashboard's black; nothing when there is none.
menu_bar_height() {
  convert "$1" -crop 1x40+300+0 +repage txt:- |
    awk -F'[(),]' 'NR > 1 && $4 + $5 + $6 < 100 { print NR - 2; exit }'
}

# compare_client_area WINDOW LINUX MASK WHAT: the Wine window's client area (below its menu
# bar) against the Linux
# picture of the same state, leaving out the mask's text (another font) and controls
# (Windows' own) and the activity lamp, lit whenever an exchange is under way. Sets
# differing and client_pixels; fails, its message after WHAT, when more than one pixel in
# a thousand differs. The masked pictures and their difference stay beside WINDOW.
compare_client_area() {
  local window=$1 linux=$2 mask=$3 what=$4 bar width height image offset
  bar=$(menu_bar_height "$window")
  [ -n "$bar" ] || fail "${what}no menu bar above the dashboard"
  width=$(identify -format %w "$window")
  height=$(($(identify -format %h "$window") - bar))
  for image in "$window" "$linux"; do
    offset=0
    [ "$image" = "$window" ] && offset=$bar
    convert "$image" -crop "${width}x${height}+0+$offset" +repage \
      \( "$mask" -crop "${width}x${height}+0+0" +repage \) -compose multiply -composite \
      -fill black -draw 'rectangle 0,0,16,16' "${image%.png}-masked.png"
  done
  client_pixels=$((width * height))
  differing=$(compare -fuzz 10% -metric AE "${window%.png}-masked.png" "${linux%.png}-masked.png" "${window%.png}-difference.png" 2>&1 || true)
  [ "$differing" -le $((client_pixels / 1000)) ] ||
    fail "${what}the Wine window does not show the Linux dashboard: $differing pixels differ"
}

# Quorvel's window under Wine, found by its title; the keyboard goes to it.
wine_window() {
  local wid
  wid=$(focus_shown 60 '^Fiat Punto 75 Mk1$')
  [ -n "$wid" ] || fail "no window"
  echo "$wid"
}

case "$check" in
prefix)
  # A server left from an earlier prefix in the same place would outlive its removal.
  [ -d "$WINEPREFIX" ] && wineserver -k >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX" "$WINEPREFIX.no-wine32"
  mkdir -p "$(dirname "$WINEPREFIX")"
  arch=${3:-win64}
  booted=yes
  WINEARCH=$arch wineboot -i 2>"$work/boot" >/dev/null || booted=no
  wineserver -w || true
  if [ "$booted" = no ] && [ "$arch" = win32 ]; then
    # Without wine32 Wine still leaves a prefix behind, which runs nothing.
    rm -rf "$WINEPREFIX"
    # scripts/install-deps keeps why it did not install wine32.
    why=$(cat "${XDG_CACHE_HOME:-$HOME/.cache}/quorvel/wine32-not-installed" 2>/dev/null ||
      echo "install wine32:i386 (scripts/install-deps tries)")
    echo "32-bit Wine made no prefix ($(grep -m1 -i -e 'wine32 is missing' -e error "$work/boot" || tail -1 "$work/boot")): the x86 programs are not run under Wine here; $why" >"$WINEPREFIX.no-wine32"
    echo "SKIP: $(cat "$WINEPREFIX.no-wine32")"
    exit 77
  fi
  [ "$booted" = yes ] && [ -f "$WINEPREFIX/system.reg" ] || fail "wineboot made no prefix: $(tail -3 "$work/boot")"
  echo "PASS: a $arch Wine prefix in $WINEPREFIX"
  ;;

behaviour)
  cd "$work"
  # Into a file, not a pipe: Wine's services, started on the way, hold on to the program's
  # output and a pipe would never end. The program's exit status is the verdict.
  status=0
  wine "$windows/win32_behaviour_tests.exe" --gtest_brief=1 >"$work/raw" 2> >(quiet) || status=$?
  tr -d '\r' <"$work/raw" | tee "$work/out"
  [ "$status" = 0 ] || fail "the Win32 behaviour tests did not all pass under Wine (exit status $status)"
  grep -q '^\[  PASSED  \] [1-9]' "$work/out" || fail "the Win32 behaviour tests ran no test"
  ;;

port-error)
  cd "$work"
  start=$(date +%s%N)
  spawn wine "$windows/quorvel.exe" 2> >(quiet)
  program=$last_pid
  box=$(focus_shown 60 '^Quorvel - Port Error$')
  [ -n "$box" ] || fail "no box captioned \"Quorvel - Port Error\""
  echo "the box after $((($(date +%s%N) - start) / 1000000)) ms"
  xdotool key Return
  wait_exit "$program"
  [ "$exit_code" = 0 ] || fail "exit code $exit_code after the port error"
  # quorvel-ports.exe speaks Windows: /? for help, Device Manager for a lead that is not
  # listed, nothing of Linux.
  if [ -f "$windows/quorvel-ports.exe" ]; then
    status=0
    wine "$windows/quorvel-ports.exe" '/?' >"$work/help.raw" 2> >(quiet) || status=$?
    tr -d '\r' <"$work/help.raw" >"$work/help.out"
    [ "$status" = 0 ] || fail "quorvel-ports.exe /? ended with $status: $(cat "$work/help.out")"
    grep -q "Device Manager" "$work/help.out" || fail "quorvel-ports.exe /? names no Device Manager"
    ! grep -qE "brltty|ModemManager|dialout|QUORVEL_PORTS|/dev/" "$work/help.out" ||
      fail "quorvel-ports.exe /? speaks Linux: $(grep -E "brltty|ModemManager|dialout|QUORVEL_PORTS|/dev/" "$work/help.out")"
    status=0
    wine "$windows/quorvel-ports.exe" >"$work/none.raw" 2> >(quiet) || status=$?
    tr -d '\r' <"$work/none.raw" >"$work/none.out"
    [ "$status" = 1 ] || fail "quorvel-ports.exe without a port ended with $status"
    grep -q "open Device Manager" "$work/none.out" || fail "no port, and no word of Device Manager: $(cat "$work/none.out")"
    ! grep -q "see above" "$work/none.out" || fail "\"see above\" with nothing above"
  fi
  echo "PASS: the port error box, Enter, exit code 0; quorvel-ports.exe in Windows' words"
  ;;

session)
  ecu_sim=$4
  registers=$5
  headless_picture=$6
  mkdir "$work/run" "$work/linux"
  cd "$work/run"
  wine "$windows/register-port.exe" "ECU simulator (COM5)" >"$work/registered" 2> >(quiet)
  tr -d '\r' <"$work/registered"
  # Wine asks a UART for 7680 baud as 38400 with a custom divisor, which a pseudo-terminal
  # cannot keep: the simulator is told to read 38400 as 7680.
  spawn "$ecu_sim" --link "$work/ecu" --replay "$registers" --record "$work/record" --custom-rate 7680 >/dev/null
  wait_for "$(within 1)" test -e "$work/ecu" || fail "the simulator made no pseudo-terminal"
  ln -sfn "$work/ecu" "$WINEPREFIX/dosdevices/com5"
  # quorvel-ports.exe lists the registered port through SetupAPI, as the program does.
  ports_status=0
  wine "$windows/quorvel-ports.exe" >"$work/ports.raw" 2> >(quiet) || ports_status=$?
  tr -d '\r' <"$work/ports.raw" | tee "$work/ports.out"
  grep -q '^COM5  ECU simulator (COM5)$' "$work/ports.out" || fail "quorvel-ports.exe did not list COM5"
  # A port with no chip it knows, whose driver took 7680 baud without saying what it runs:
  # not called usable, and the probe is suggested.
  [ "$ports_status" = 1 ] || fail "quorvel-ports.exe called a port of an unknown chip usable (exit status $ports_status)"
  # The command as it can be run from anywhere: the program's full path.
  grep -qE 'Try [A-Z]:\\.*\\quorvel-ports\.exe --probe COM5 with the lead on the car' "$work/ports.out" ||
    fail "quorvel-ports.exe did not suggest probing COM5 with its full path"
  start=$(date +%s%N)
  spawn wine "$windows/quorvel.exe" 2> >(quiet)
  program=$last_pid
  wid=$(wine_window)
  echo "the window after $((($(date +%s%N) - start) / 1000000)) ms"
  xdotool key alt+e
  sleep 0.5
  xdotool key Return
  wait_for "$(within 1)" title_is "$wid" "Fiat Punto MK1 55" || fail "Alt+E, Enter did not choose an engine"
  xdotool key alt+l
  sleep 0.5
  xdotool key Return
  wait_for "$(within 1)" test -s "engine details.csv" || fail "Alt+L, Enter did not switch logging on"
  sleep 3
  import -window "$wid" "$work/window.png"

  # The same register values on Linux: the headless picture, its text mask, and its log.
  (cd "$work/linux" && "$headless_picture" "ECU simulator (COM5)" "$registers" "$work/linux.png" "$work/mask.pbm")
  compare_client_area "$work/window.png" "$work/linux.png" "$work/mask.pbm" ""
  echo "$differing of $client_pixels pixels differ outside text and controls"

  xdotool key alt+f
  sleep 0.5
  xdotool key x
  wait_for "$(within 1)" not_running "$program" || fail "File, Exit did not end the program"
  wait_exit "$program"
  [ "$exit_code" = 0 ] || fail "File, Exit ended with code $exit_code"

  # The log: the same header and, line for line, the same data lines, bytes and all.
  lines=$(wc -l <"engine details.csv")
  [ "$lines" -ge 3 ] || fail "only $lines lines in the log"
  cmp -n "$(head -1 "$work/linux/engine details.csv" | wc -c)" "engine details.csv" "$work/linux/engine details.csv" ||
    fail "the log's header differs from Linux's"
  linux_line=$(sed -n 2p "$work/linux/engine details.csv")
  tail -n +2 "engine details.csv" | while IFS= read -r line; do
    [ "$line" = "$linux_line" ] || { echo "Wine:  $line"; echo "Linux: $linux_line"; exit 1; }
  done || fail "a log line differs from Linux's"

  check_record "$work/record"
  # quorvel-plot.exe draws the log the Windows program wrote: a PNG unless asked (Windows'
  # own viewers open no SVG), through GDI+, with its bands and text.
  if [ -f "$windows/quorvel-plot.exe" ]; then
    wine "$windows/quorvel-plot.exe" "engine details.csv" >"$work/plot.out" 2> >(quiet) ||
      fail "quorvel-plot.exe: $(tr -d '\r' <"$work/plot.out")"
    [ "$(identify -format %m:%wx%h "engine details.png")" = "PNG:1200x1160" ] ||
      fail "quorvel-plot.exe's picture by default is not engine details.png, a 1200x1160 PNG"
    [ "$(convert "engine details.png" -crop 1x1+600+75 +repage -format '%[hex:p{0,0}]' info:)" = FFC8C8 ] ||
      fail "engine details.png lacks the revs chart's red band"
    [ "$(convert "engine details.png" -crop 300x40+0+0 +repage -format %k info:)" -gt 2 ] ||
      fail "engine details.png has no title"
    wine "$windows/quorvel-plot.exe" "engine details.csv" -o "engine details.svg" >"$work/plot3.out" 2> >(quiet) ||
      fail "quorvel-plot.exe -o engine details.svg: $(tr -d '\r' <"$work/plot3.out")"
    grep -q '<polyline' "engine details.svg" || fail "quorvel-plot.exe wrote no SVG of the log"
    # A name beyond ASCII reaches the program in the ANSI code page: the picture's title
    # holds it in UTF-8.
    cp "engine details.csv" "viaggio città.csv"
    wine "$windows/quorvel-plot.exe" "viaggio città.csv" -o "viaggio città.svg" >"$work/plot2.out" 2> >(quiet) ||
      fail "quorvel-plot.exe on a name beyond ASCII: $(tr -d '\r' <"$work/plot2.out")"
    grep -q 'viaggio città.csv' "viaggio città.svg" || fail "the title of viaggio città.svg is not UTF-8"
    # Each tool's /? fits the standard console's 80 columns.
    for tool in quorvel-plot quorvel-ports quorvel-sheet; do
      wine "$windows/$tool.exe" '/?' >"$work/help.out" 2> >(quiet) || fail "$tool.exe /? failed"
      grep -q "usage: $tool" "$work/help.out" || fail "$tool.exe /? gives no help"
      [ "$(tr -d '\r' <"$work/help.out" | awk 'length > 79' | wc -l)" -eq 0 ] ||
        fail "$tool.exe /? has lines wider than 79 columns"
    done
  fi
  # quorvel-sheet.exe copies it for an Italian's Excel: the header in Italian in code page
  # 1252, ';' between the columns, decimal commas (in quotes).
  if [ -f "$windows/quorvel-sheet.exe" ]; then
    LANG=it_IT.UTF-8 LC_ALL=it_IT.UTF-8 wine "$windows/quorvel-sheet.exe" >"$work/sheet.out" 2> >(quiet) ||
      fail "quorvel-sheet.exe: $(tr -d '\r' <"$work/sheet.out")"
    head -1 "engine details (sheet).csv" | iconv -f cp1252 -t utf-8 | grep -q '^Giri (g/min);Acqua (°C);' ||
      fail "the copy's header: $(head -1 "engine details (sheet).csv" | iconv -f cp1252 -t utf-8)"
    sed -n 2p "engine details (sheet).csv" | grep -q ';"[0-9]*,[0-9]*";' ||
      fail "the copy's numbers: $(sed -n 2p "engine details (sheet).csv")"
  fi
  echo "PASS: under Wine: engine chosen, logging on, the Linux dashboard, log lines as Linux writes them, wake-up and requests right, exit code 0, the log plotted and copied for an Italian's spreadsheet"
  ;;

port-choice)
  ecu_sim=$4
  registers=$5
  mkdir "$work/run"
  cd "$work/run"
  # Two ports of its own, sorted as named: the first has no ECU behind it.
  wine "$windows/register-port.exe" "A port without ECU (COM6)" >"$work/registered" 2> >(quiet)
  wine "$windows/register-port.exe" "B lead to the ECU (COM7)" >>"$work/registered" 2> >(quiet)
  spawn "$ecu_sim" --link "$work/absent" --silent --no-echo --record "$work/record-absent" --custom-rate 7680 >/dev/null
  spawn "$ecu_sim" --link "$work/lead" --replay "$registers" --record "$work/record" --custom-rate 7680 >/dev/null
  wait_for "$(within 1)" test -e "$work/absent" || fail "no first simulator"
  wait_for "$(within 1)" test -e "$work/lead" || fail "no second simulator"
  ln -sfn "$work/absent" "$WINEPREFIX/dosdevices/com6"
  ln -sfn "$work/lead" "$WINEPREFIX/dosdevices/com7"
  spawn wine "$windows/quorvel.exe" 2> >(quiet)
  program=$last_pid
  wid=$(wine_window)
  wait_for "$(within 1)" file_has ' 1200 in 0xCC' "$work/record-absent" || fail "the first port was not woken"
  grep -q ' in ' "$work/record" && fail "the simulator's port was used before it was chosen"
  # The list is Windows' own control: a click drops it down and gives it the keyboard;
  # Down moves to the next entry (a selection change), Enter closes the list.
  import -window "$wid" "$work/before.png"
  bar=$(menu_bar_height "$work/before.png")
  [ -n "$bar" ] || fail "no menu bar above the dashboard"
  xdotool mousemove --window "$wid" 100 $((bar + 16)) click 1
  sleep 0.5
  xdotool key Down
  sleep 0.3
  xdotool key Return
  wait_for "$(within 1)" file_has 'note awake' "$work/record" || fail "choosing the simulator's port did not wake it"
  xdotool key alt+e
  sleep 0.5
  xdotool key Return
  wait_for "$(within 1)" title_is "$wid" "Fiat Punto MK1 55" || fail "Alt+E, Enter did not choose an engine"
  sleep 3
  xdotool key alt+f
  sleep 0.5
  xdotool key x
  wait_for "$(within 1)" not_running "$program" || fail "File, Exit did not end the program"
  wait_exit "$program"
  [ "$exit_code" = 0 ] || fail "File, Exit ended with code $exit_code"
  check_record "$work/record"
  echo "PASS: under Wine: the first port woken, the user's choice of the second woke it, and it was polled"
  ;;

key-cycle)
  ecu_sim=$4
  # shellcheck source=key_cycle_drive.sh
  source "$(dirname "$0")/key_cycle_drive.sh"
  mkdir "$work/run"
  cd "$work/run"
  # Run before the other sessions register theirs: this port is the first entry.
  wine "$windows/register-port.exe" "Lead with a key cycle (COM8)" >"$work/registered" 2> >(quiet)
  start_sim() {
    spawn "$ecu_sim" --link "$work/ecu" --record "$1" --custom-rate 7680 >/dev/null
    sim=$last_pid
    wait_for "$(within 1)" test -e "$work/ecu" || fail "the simulator made no pseudo-terminal"
  }
  start_sim "$work/record"
  ln -sfn "$work/ecu" "$WINEPREFIX/dosdevices/com8"
  spawn wine "$windows/quorvel.exe" 2> >(quiet)
  program=$last_pid
  key_cycle_drive "$(wine_window)" "$program"
  echo "PASS: under Wine: key off and on, lead out and back: the title said it, nothing logged while asleep, back by itself"
  ;;

ports)
  ecu_sim=$4
  mkdir "$work/run"
  cd "$work/run"
  # Registered last of all the checks: these ports sort before the others' own.
  wine "$windows/register-port.exe" "CP210x lead (COM10)" 'USB\VID_10C4&PID_EA60&REV_0100' \
    "Silicon Labs CP210x USB to UART Bridge" >"$work/registered" 2> >(quiet)
  wine "$windows/register-port.exe" "Absent lead (COM11)" >>"$work/registered" 2> >(quiet)
  spawn "$ecu_sim" --link "$work/cp210x" --custom-rate 7680 >/dev/null
  wait_for "$(within 1)" test -e "$work/cp210x" || fail "the simulator made no pseudo-terminal"
  ln -sfn "$work/cp210x" "$WINEPREFIX/dosdevices/com10"
  ln -sfn "$work/nothing-here" "$WINEPREFIX/dosdevices/com11"
  block() { awk -v com="$1" '$1 == com { on = 1 } on && /^$/ { exit } on' "$2"; }
  wine "$windows/quorvel-ports.exe" >"$work/list.raw" 2> >(quiet) || true
  tr -d '\r' <"$work/list.raw" >"$work/list.out"
  block COM10 "$work/list.out" | tee "$work/com10.out"
  # The driver took 7680 baud; that says nothing of what a CP210x whose part is not named runs.
  grep -q '10c4:ea60, Silicon Labs CP210x' "$work/com10.out" || fail "COM10 is not told a CP210x"
  grep -q '7680 baud:  not known: the driver took 7680 baud' "$work/com10.out" ||
    fail "a rate the driver only took is told as known: $(grep '7680 baud' "$work/com10.out")"
  grep -q -- '-> whether the dashboard can read through it is not known' "$work/com10.out" ||
    fail "a CP210x whose part is not named is called usable: $(grep -- '->' "$work/com10.out")"
  block COM11 "$work/list.out" | grep -q 'access:     no (' || fail "the listing did not try the absent lead"
  # Without the driver check no port is opened: the absent lead's access is not looked at.
  wine "$windows/quorvel-ports.exe" --no-driver-check >"$work/quick.raw" 2> >(quiet) || true
  tr -d '\r' <"$work/quick.raw" >"$work/quick.out"
  block COM11 "$work/quick.out" | tee "$work/com11.out"
  grep -q 'access:     not looked at' "$work/com11.out" || fail "--no-driver-check opened COM11"
  # The dashboard on a CP210x lead whose ECU does not answer: Windows' driver took 7680
  # baud, which such a lead may not run, and the title says so. Its name sorts first.
  wine "$windows/register-port.exe" "0 CP210x lead (COM12)" 'USB\VID_10C4&PID_EA60&REV_0100' \
    "Silicon Labs CP210x USB to UART Bridge" >>"$work/registered" 2> >(quiet)
  spawn "$ecu_sim" --link "$work/silent" --silent --custom-rate 7680 >/dev/null
  wait_for "$(within 1)" test -e "$work/silent" || fail "the simulator made no pseudo-terminal"
  ln -sfn "$work/silent" "$WINEPREFIX/dosdevices/com12"
  spawn wine "$windows/quorvel.exe" 2> >(quiet)
  program=$last_pid
  wid=$(wine_window)
  xdotool key alt+e
  sleep 0.5
  xdotool key Return
  doubt="Fiat Punto MK1 55 - no answer from the ECU (CP2101/2/3 leads cannot run 7680 baud)"
  wait_for "$(within 2)" title_is "$wid" "$doubt" || fail "the title on a silent CP210x lead: $(xdotool getwindowname "$wid")"
  xdotool key alt+f
  sleep 0.5
  xdotool key x
  wait_for "$(within 1)" not_running "$program" || fail "File, Exit did not end the program"
  echo "PASS: under Wine: a rate the driver only took is not a verdict, --no-driver-check opens no port, and the dashboard says a silent CP210x lead may not run 7680 baud"
  ;;

languages)
  ecu_sim=$4
  registers=$5
  headless_picture=$6
  linux_plot=$7
  mkdir "$work/run"
  # A port of its own that sorts first of all the prefix's ("0 CP210x lead" of ports among them).
  wine "$windows/register-port.exe" "0 0 Lead (COM13)" >"$work/registered" 2> >(quiet)
  spawn "$ecu_sim" --link "$work/ecu" --replay "$registers" --custom-rate 7680 >/dev/null
  wait_for "$(within 1)" test -e "$work/ecu" || fail "the simulator made no pseudo-terminal"
  ln -sfn "$work/ecu" "$WINEPREFIX/dosdevices/com13"
  # traced_dashboard NAME SCREENSHOT ENVIRONMENT...: quorvel.exe in that environment, with
  # Wine's trace of the texts it draws in $work/trace-NAME (the menu bar's titles,
  # DrawTextExW, and the program's own, ExtTextOutW, in Unicode as they reach the screen):
  # the Engine menu's first item chosen by its place, a few polls, the window in SCREENSHOT
  # (if named), then File, Exit.
  traced_dashboard() {
    local name=$1 shot=$2
    shift 2
    WINEDEBUG=-all,+text,+font spawn env "$@" wine "$windows/quorvel.exe" 2>"$work/trace-$name"
    program=$last_pid
    wid=$(wine_window)
    xdotool key alt
    sleep 0.3
    xdotool key Right Down Return
    wait_for "$(within 1)" title_is "$wid" "Fiat Punto MK1 55" || fail "$name: no engine chosen: $(xdotool getwindowname "$wid")"
    sleep 3
    [ -z "$shot" ] || import -window "$wid" "$shot"
    xdotool key alt
    sleep 0.3
    xdotool key Down Up Return # the File menu's last item, Exit
    wait_for "$(within 1)" not_running "$program" || fail "$name: File, Exit did not end the program"
  }
  # Wine takes its locale, and with it the ANSI code page (1250 for Polish), from LANG.
  for locale in pl_PL.UTF-8 it_IT.UTF-8; do
    locale -a 2>/dev/null | grep -qi "^${locale%%.*}.utf-\?8$" ||
      { echo "SKIP: the locale $locale is not installed here (localedef -i ${locale%%.*} -f UTF-8 $locale)"; exit 77; }
    mkdir "$work/run/$locale"
    cd "$work/run/$locale"
    traced_dashboard "$locale" "$work/window-$locale.png" LANG="$locale" LC_ALL='' LANGUAGE=''
    # The same state on Linux in the same language: its picture, mask and texts.
    mkdir "$work/linux-$locale"
    (cd "$work/linux-$locale" && LANG=$locale LC_ALL='' LANGUAGE='' "$headless_picture" "0 0 Lead (COM13)" "$registers" "$work/linux-$locale.png" "$work/mask-$locale.pbm")
    # Every title and every text Linux draws, Wine drew as the same letters.
    # decode CALL: the strings of CALL's trace lines, Wine's \xxxx escapes made letters.
    decode() {
      grep -o "$1 L\"[^\"]*\"" | sed 's/^.* L"//; s/"$//' |
        perl -CS -pe 's/\\([0-9a-f]{4})/chr(hex($1))/ge'
    }
    { decode 'DrawTextExW' <"$work/trace-$locale"; decode 'ExtTextOutW[^L]*' <"$work/trace-$locale"; } | sort -u >"$work/wine-texts-$locale"
    missing=0
    while IFS= read -r text; do
      case $text in "" | [0-9]* | -[0-9]*) continue ;; esac # the scales' numbers
      grep -qxF -- "$text" "$work/wine-texts-$locale" || { echo "$locale: Wine did not draw \"$text\""; missing=$((missing + 1)); }
    done <"$work/linux-$locale-texts.txt"
    [ "$missing" = 0 ] || fail "$locale: $missing texts Linux draws were not drawn so under Wine (see $work/wine-texts-$locale)"
    # And where it draws: the client area is Linux's outside the text (another font).
    compare_client_area "$work/window-$locale.png" "$work/linux-$locale.png" "$work/mask-$locale.pbm" "$locale: "
    echo "$locale: Wine drew every title and text as Linux does ($(wc -l <"$work/wine-texts-$locale") texts traced); $differing pixels differ outside the text"
    # quorvel-plot's texts come from the string table in the code page too; its picture
    # (UTF-8) is the Linux one's, labels, fault names, captions and decimal commas alike.
    {
      printf 'revs, water temp, air temp, throttle, injector period, advance, volts, pressure, VAE, error 1, error 2, error 3, , revs, water temp, air temp, throttle, injector timing, advance, volts, pressure, VAE\r\n'
      printf '5000.000000, 90.000000, 25.000000, 30.908199, 2.000000, 20.000000, 14.000000, 800.000000, 35.000000, 9, 2, 0, , 62, 80, 44, 34, 0, 26, 93, 64, 35\r\n%.0s' 1 2 3
    } >drive.csv
    LANG=$locale LC_ALL='' LANGUAGE='' "$linux_plot" drive.csv --fit -o linux.svg >/dev/null
    LANG=$locale LC_ALL='' LANGUAGE='' wine "$windows/quorvel-plot.exe" drive.csv --fit -o wine.svg >/dev/null 2> >(quiet) ||
      fail "$locale: quorvel-plot.exe failed"
    cmp -s linux.svg wine.svg || fail "$locale: quorvel-plot.exe's picture is not the Linux one's: $(diff <(tr '>' '\n' <linux.svg) <(tr '>' '\n' <wine.svg) | head -4)"
    echo "$locale: quorvel-plot.exe drew the Linux picture"
  done
  # A Polish display language with code page 1252 for programs that are not Unicode (Wine
  # takes the language from LC_MESSAGES, the code page from LC_CTYPE): a text 1252 cannot
  # write whole (ż, ę) comes in English, never with best-fit letters or "?", and the
  # picture, written in UTF-8, is still the Polish one.
  if locale -a 2>/dev/null | grep -qi '^de_DE.utf-\?8$'; then
    mkdir "$work/run/pl-1252"
    cd "$work/run/pl-1252"
    polish_1252() { env LANG=pl_PL.UTF-8 LC_CTYPE=de_DE.UTF-8 LC_ALL='' LANGUAGE='' "$@"; }
    polish_1252 wine "$windows/quorvel-ports.exe" --no-driver-check >ports.out 2> >(quiet) || true
    grep -q "^Porty szeregowe, tak jak wymienia je panel:" ports.out || fail "pl-1252: the listing is not in Polish where 1252 writes it: $(head -1 ports.out)"
    grep -q "not looked at: the port was not opened" ports.out || fail "pl-1252: a text 1252 cannot write is not in English: $(cat ports.out)"
    ! grep -q -e "moze" -e "uzyc" -e "mo?e" ports.out || fail "pl-1252: best-fit letters: $(grep -e moze -e uzyc -e 'mo?e' ports.out)"
    traced_dashboard pl-1252 "" LANG=pl_PL.UTF-8 LC_CTYPE=de_DE.UTF-8 LC_ALL='' LANGUAGE=''
    decode 'ExtTextOutW[^L]*' <"$work/trace-pl-1252" | sort -u >"$work/wine-texts-pl-1252"
    grep -qx "Volts" "$work/wine-texts-pl-1252" || fail "pl-1252: the volts gauge is not named in English"
    grep -qx "Ciśnienie" "$work/wine-texts-pl-1252" && fail "pl-1252: a text 1252 cannot write was drawn"
    ! grep -q -e "^Napi" -e "Cisnienie" "$work/wine-texts-pl-1252" || fail "pl-1252: best-fit letters drawn: $(grep -e '^Napi' -e Cisnienie "$work/wine-texts-pl-1252")"
    grep -qx "Przepustn." "$work/wine-texts-pl-1252" || fail "pl-1252: a text 1252 writes is not in Polish"
    polish_1252 wine "$windows/quorvel-plot.exe" "$work/run/pl_PL.UTF-8/drive.csv" --fit -o wine.svg >/dev/null 2> >(quiet) ||
      fail "pl-1252: quorvel-plot.exe failed"
    cmp -s "$work/run/pl_PL.UTF-8/linux.svg" wine.svg || fail "pl-1252: quorvel-plot.exe's picture is not the Polish one: $(diff <(tr '>' '\n' <"$work/run/pl_PL.UTF-8/linux.svg") <(tr '>' '\n' <wine.svg) | head -4)"
    echo "pl-1252: in code page 1252 what it cannot write came in English, the rest in Polish, and the picture is the Polish one"
  else
    echo "pl-1252: not checked: the locale de_DE.UTF-8 (code page 1252 under Wine) is not installed"
  fi
  echo "PASS: under Wine in Polish (code page 1250) and Italian the menu bar, the dashboard's texts and quorvel-plot's picture are Linux's letters; in Polish with code page 1252 no letter is lost"
  ;;

timeouts)
  peer=$4
  [ -f "$windows/serial_timeouts_win.exe" ] || { echo "SKIP: no serial_timeouts_win.exe in $windows"; exit 77; }
  cd "$work"
  spawn "$peer" "$work/peer"
  wait_for "$(within 1)" test -e "$work/peer" || fail "the peer made no pseudo-terminal"
  ln -sfn "$work/peer" "$WINEPREFIX/dosdevices/com9"
  status=0
  wine "$windows/serial_timeouts_win.exe" COM9 >"$work/raw" 2> >(quiet) || status=$?
  tr -d '\r' <"$work/raw" | tee "$work/out"
  [ "$status" = 0 ] || fail "the time-out table under Wine (exit status $status)"
  echo "PASS: the time-out table under Wine"
  ;;

*)
  echo "usage: wine.sh prefix|behaviour|port-error|session|port-choice|key-cycle|ports|timeouts|languages PREFIX ..." >&2
  exit 2
  ;;
esac
