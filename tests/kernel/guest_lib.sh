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
# How many times slower than the host this emulated machine runs, now (the host timed the
# same loop as it started the guest; at least 1). within SECONDS: the wall-clock limit for
# something the program or a tool does in SECONDS on a quiet machine: that time scaled by
# the slowness, twice over for the scheduling of a busy host, and 10 s for the X server's
# and xdotool's round trips.
loop_ms() {
  start=$(date +%s%N)
  /bin/sh -c 'i=0; while [ $i -lt 100000 ]; do i=$((i + 1)); done'
  echo $((($(date +%s%N) - start) / 1000000))
}
slowness=$(($(loop_ms) / ${QUORVEL_HOST_LOOP_MS:-1000} + 1))
within() { echo $(($1 * slowness * 2 + 10)); }
absent() { [ ! -e "$1" ]; }
# shellcheck disable=SC2154 # wid is the guest script's
title() { xdotool getwindowname "$wid" 2>/dev/null; }
title_is() { [ "$(title)" = "$1" ]; }
lines() { if [ -f "engine details.csv" ]; then wc -l <"engine details.csv"; else echo 0; fi; }
more_lines_than() { [ "$(lines)" -gt "$1" ]; }

# Leads plugged in under emulation. A lead counts once its driver has bound its tty; on a
# slow machine the probe's control messages can time out (the kernel's log then says the
# probe failed, -110), and no program could use the lead: it is pulled out and plugged
# again, at most $bind_plugs plugs in all, each said. A lead that has neither bound nor
# failed within $bind_seconds never will: the USB core gives up on a device after four
# tries of its 5-second descriptor reads, and a driver's probe (1 s control messages for
# ch341, at most 5 s for cp210x) reports its failure in the kernel's log.
bind_seconds=40
bind_plugs=3
# mark WHAT: the kernel's log from here on is WHAT's; mark_plug WHAT: a plug's.
mark() { echo "quorvel: $1" >/dev/kmsg 2>/dev/null || true; }
mark_plug() { mark "$1 plugged"; }
# usb_log: what the USB core and the leads' drivers said since the last mark.
usb_log() {
  dmesg 2>/dev/null | sed -n '/quorvel: /h; /quorvel: /!H; ${x;p}' |
    grep -E '[Uu][Ss][Bb]|ch341|pl2303|cp210x|ftdi' || true
}
# probe_failure: what the kernel's log says went wrong since the last plug ("" for nothing).
probe_failure() { usb_log | grep -E -m1 'fail|error -?[0-9]+|timed out|-110' || true; }
# driver_timeout: a control message of a lead's driver that timed out since the last mark
# ("" for none). A stall (-32) is the chip's answer; a time-out is the machine's slowness.
driver_timeout() { usb_log | grep -E -m1 'timed out|-110' || true; }
# What the kernel said before the check began is not this check's plug (the leads QEMU
# emulates were plugged in at boot): from here on.
mark_plug "the guest's leads"
bound_or_failed() { [ -e "$1" ] || [ -n "$(probe_failure)" ]; }
# shellcheck disable=SC2034 # unbound is the caller's
# lead_bound TTY WHAT REPLUG...: waits for TTY after WHAT was plugged in (mark_plug first);
# REPLUG... pulls the lead out and plugs it in again. Fails with the reason in $unbound.
lead_bound() {
  tty=$1 what=$2 plugs=1
  shift 2
  while :; do
    waitfor "$bind_seconds" bound_or_failed "$tty" || true
    # The USB core retries a device whose descriptors it could not read: a little longer.
    [ -e "$tty" ] || waitfor 5 present "$tty" || true
    [ -e "$tty" ] && return 0
    why=$(probe_failure)
    [ -n "$why" ] || why="no tty, and nothing in the kernel log, within $bind_seconds s"
    if [ "$plugs" -ge "$bind_plugs" ]; then
      unbound="$what: its driver bound no tty in $plugs plugs (last: $why): the machine is too slow for the emulated USB, not a fault of the program"
      return 1
    fi
    plugs=$((plugs + 1))
    echo "$what: its driver bound no tty ($why); plugged again ($plugs of $bind_plugs)"
    "$@"
  done
}
# driver_quiet WHAT OUT COMMAND...: runs COMMAND, its output to OUT, and again while one of
# the lead driver's control messages timed out meanwhile (the driver then keeps the old
# rate, and the program rightly reports what it was given): at most $bind_plugs runs,
# each rerun said. The status is COMMAND's; 77 with the reason in $unbound when every run
# had a time-out.
# shellcheck disable=SC2034 # unbound is the caller's
driver_quiet() {
  what=$1 out=$2 runs=1
  shift 2
  while :; do
    mark "$what"
    "$@" >"$out" 2>&1
    status=$?
    why=$(driver_timeout)
    [ -n "$why" ] || return "$status"
    if [ "$runs" -ge "$bind_plugs" ]; then
      unbound="$what: the lead's driver timed out in each of $runs runs (last: $why): the machine is too slow for the emulated USB, not a fault of the program"
      return 77
    fi
    runs=$((runs + 1))
    echo "$what: the lead's driver timed out ($why); run again ($runs of $bind_plugs)"
  done
}
# skip REASON: the check cannot be made on this machine (the host side skips too).
skip() {
  echo "SKIP: $*"
  exit 77
}
# replug_gadget PID WHAT: the lead that lead_gadget PID plays pulled out and plugged again.
replug_gadget() {
  kill -USR1 "$1"
  waitfor 20 absent /dev/ttyUSB0 || true
  sleep 1 # the gadget takes one signal at a time
  mark_plug "$2"
  kill -USR2 "$1"
}
# replug_by_host ID: a lead QEMU emulates (its device ID), pulled out and plugged again
# by the host (serve_replugs in lib.sh), asked for with /mnt/replug-N and done once
# /mnt/replugged-N is there.
replugs=0
replug_by_host() {
  replugs=$((replugs + 1))
  mark_plug "$1"
  echo "$1" >"/mnt/replug-$replugs"
  waitfor "$(within 10)" present "/mnt/replugged-$replugs" || echo "$1: the host did not plug it again"
}
