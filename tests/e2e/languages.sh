#!/usr/bin/env bash
# The dashboard in the mechanic's language, on an X server (Xvfb), with the simulated ECU
# answering fixed register values (a fault among them): under LANG=it_IT.UTF-8 and
# pl_PL.UTF-8 the menu bar and the client area (the gauges with the decimal comma, the
# fault panel) are, pixel for pixel, the headless pictures of the same state in the same
# language; the log the program writes is byte for byte the one it writes in English.
# The menus are worked by their places (Alt, the arrows, Enter), whatever their words.
# Then the tools in the same language: quorvel-ports' listing and probe of that ECU, and
# quorvel-plot's picture of that log, with the catalogue's texts.
# usage: languages.sh QUORVEL HEADLESS_PICTURE ECU_SIM REGISTERS QUORVEL_PORTS QUORVEL_PLOT PO_DIR
set -euo pipefail
quorvel=$1
headless_picture=$2
ecu_sim=$3
registers=$4
quorvel_ports=$5
quorvel_plot=$6
po_dir=$7
E2E_NAME=languages
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"
need_tools Xvfb xdotool import compare msgfmt gettext
work=$e2e_work
# The catalogues as gettext reads them, to look the translations up as gettext would.
for language in $(grep -v '^#' "$po_dir/LINGUAS"); do
  mkdir -p "$work/locale/$language/LC_MESSAGES"
  msgfmt -o "$work/locale/$language/LC_MESSAGES/quorvel.mo" "$po_dir/$language.po"
done
# translated LOCALE TEXT: the catalogue's translation of TEXT
translated() { LANG=$1 LC_ALL='' LANGUAGE='' TEXTDOMAINDIR="$work/locale" gettext -d quorvel "$2"; }
for locale in it_IT.UTF-8 pl_PL.UTF-8; do
  [ "$(translated "$locale" "Readings:")" != "Readings:" ] || fail "gettext finds no $locale catalogue (is the locale installed? locale -a)"
done
# The language is chosen as gettext chooses it, in every environment that sets it: the
# listing's first line against gettext's own in the same environment (LC_ALL, LC_MESSAGES,
# LANG, LANGUAGE).
listing_heading="Serial ports, as the dashboard lists them:"
while IFS='|' read -r all messages lang language; do
  want=$(LC_ALL=$all LC_MESSAGES=$messages LANG=$lang LANGUAGE=$language TEXTDOMAINDIR="$work/locale" gettext -d quorvel "$listing_heading")
  got=$(LC_ALL=$all LC_MESSAGES=$messages LANG=$lang LANGUAGE=$language QUORVEL_PORTS=/dev/null "$quorvel_ports" --no-driver-check 2>/dev/null | head -1 || true)
  [ "$got" = "$want" ] || fail "LC_ALL=$all LC_MESSAGES=$messages LANG=$lang LANGUAGE=$language: quorvel-ports says \"$got\", gettext \"$want\""
done <<'EOF'
||pl_PL.UTF-8|
||pl_PL.UTF-8|nl
||pl_PL.UTF-8|nl:pl
||pl_PL.UTF-8|it:pl
||C.UTF-8|pl
||C|pl
||C.UTF-8|
|pl_PL.UTF-8|C.UTF-8|
C|pl_PL.UTF-8|pl_PL.UTF-8|it
||it_IT.UTF-8|
||ja_JP.UTF-8|
||de_DE.UTF-8|pt_BR
EOF
echo "the language chosen as gettext chooses it in 12 environments"
start_xvfb
header="revs, water temp, air temp, throttle, injector period, advance, volts, pressure, VAE, error 1, error 2, error 3, , revs, water temp, air temp, throttle, injector timing, advance, volts, pressure, VAE"
line="5000.000000, 90.000000, 25.000000, 30.908199, 2.000000, 20.000000, 14.000000, 800.000000, 35.000000, 9, 2, 0, , 62, 80, 44, 34, 0, 26, 93, 64, 35"

for locale in it_IT.UTF-8 pl_PL.UTF-8; do
  mkdir "$work/$locale"
  cd "$work/$locale"
  spawn "$ecu_sim" --link "$work/ecu-$locale" --replay "$registers" >/dev/null
  sim=$last_pid
  wait_for 50 test -e "$work/ecu-$locale" || fail "the simulator made no pseudo-terminal"
  LANG=$locale LC_ALL='' LANGUAGE='' QUORVEL_PORTS="$work/ecu-$locale" spawn "$quorvel" 2>"$work/stderr-$locale"
  program=$last_pid
  wid=$(find_window)
  # The Engine menu's first item: Alt takes the bar, Right moves to its second title,
  # Down opens it, Enter chooses.
  xdotool key alt
  xdotool key Right Down Return
  wait_for 50 title_is "$wid" "Fiat Punto MK1 55" || fail "$locale: no engine chosen: $(xdotool getwindowname "$wid")"
  # Logging on: the third title's first item.
  xdotool key alt
  xdotool key Right Right Down Return
  wait_for 50 test -s "engine details.csv" || fail "$locale: logging was not switched on"
  sleep 3 # about the same seconds of ticks as the headless picture
  import -window "$wid" "$work/window-$locale.png"
  differing=$(LANG=$locale LC_ALL='' LANGUAGE='' differing_pixels "headless-$locale" "$work/window-$locale.png" "ecu-$locale (COM1)" "$registers")
  [ "$differing" = 0 ] || fail "$locale: $differing pixels of the client area differ from the headless picture in the same language"
  convert "$work/window-$locale.png" -crop 630x20+0+0 +repage "$work/bar-$locale.png"
  bar=$(compare -metric AE "$work/bar-$locale.png" "$work/headless-$locale-raw-bar.png" null: 2>&1 || true)
  [ "$bar" = 0 ] || fail "$locale: $bar pixels of the menu bar differ from the headless picture's"
  two_lines() { [ "$(wc -l <"engine details.csv")" -ge 2 ]; }
  wait_for 50 two_lines || fail "$locale: no data line in the log"
  [ "$(head -1 "engine details.csv")" = "$header"$'\r' ] || fail "$locale: the log's header is $(head -1 "engine details.csv")"
  [ "$(sed -n 2p "engine details.csv")" = "$line"$'\r' ] || fail "$locale: the log line is $(sed -n 2p "engine details.csv")"
  kill "$program"
  grep -q . "$work/stderr-$locale" && fail "$locale: the program wrote to standard error: $(cat "$work/stderr-$locale")"
  echo "$locale: the menu bar and the client area are the headless pictures in $locale; the log is the English one"

  # The tools, on the same ECU and log.
  export LANG=$locale LC_ALL='' LANGUAGE='' QUORVEL_PORTS="$work/ecu-$locale"
  wait "$program" 2>/dev/null || true
  # (A pseudo-terminal's rate is not known to the listing: its status is 1.)
  "$quorvel_ports" --no-driver-check >listing.out || true
  [ "$(head -1 listing.out)" = "$(translated "$locale" "Serial ports, as the dashboard lists them:")" ] ||
    fail "$locale: the listing begins $(head -1 listing.out)"
  "$quorvel_ports" --probe COM1 >probe.out || fail "$locale: the probe got no answer: $(cat probe.out)"
  for text in "Readings:" "The ECU answered all 17 registers: the lead, the port and the car are fine. If the dashboard shows nothing, choose an engine from its Engine menu." "Throttle sensor O/C"; do
    grep -qF -- "$(translated "$locale" "$text")" probe.out || fail "$locale: the probe does not say \"$(translated "$locale" "$text")\": $(cat probe.out)"
  done
  grep -qF "$(translated "$locale" "battery voltage")" probe.out || fail "$locale: the probe's readings are not named in $locale"
  "$quorvel_plot" "engine details.csv" -o drive.svg >plot.out || fail "$locale: quorvel-plot failed: $(cat plot.out)"
  for text in "Revs" "Throttle position sensor" "time since logging began (minutes:seconds), one answered poll every 0.5 s"; do
    grep -qF ">$(translated "$locale" "$text")<" drive.svg || fail "$locale: the picture has no \"$(translated "$locale" "$text")\""
  done
  unset LANG LC_ALL LANGUAGE QUORVEL_PORTS
  kill "$sim"
  echo "$locale: quorvel-ports and quorvel-plot speak $locale"
done
echo "PASS: in Italian and Polish the window is the headless picture in the same language, the log the same file as in English, and the tools speak the language"
