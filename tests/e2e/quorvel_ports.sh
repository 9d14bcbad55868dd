#!/usr/bin/env bash
# quorvel-ports as a user runs it: the listing and the probe against the simulated ECU
# (answering, silent, without echo), a port that is not there, and the exit statuses;
# --statuses checks the command line and --wait alone (no simulator, in a second).
# usage: quorvel_ports.sh [--statuses] QUORVEL_PORTS ECU_SIM REGISTERS
set -euo pipefail
statuses_only=false
if [ "${1:-}" = --statuses ]; then
  statuses_only=true
  shift
fi
tool=$1
ecu_sim=$2
registers=$3
E2E_NAME=quorvel-ports
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"
work=$e2e_work


run_tool help --help
expect_status 0 "--help" help
expect_text help.out "Exit status: 0 when the listing found a port"
run_tool bad --frobnicate
expect_status 2 "an unknown option" bad
expect_text bad.err 'quorvel-ports: unknown option "--frobnicate"'
run_tool noport --probe
expect_status 2 "--probe without a port" noport
run_tool badport --probe COMX
expect_status 2 "--probe COMX" badport
expect_text badport.err "--probe needs a port such as COM3"

# From the Start menu, in a window of its own: the verdict stays until Enter.
mkfifo "$work/enter"
QUORVEL_PORTS="$work/nothing-here" "$tool" --wait >"$work/wait.out" 2>&1 <"$work/enter" &
waiting=$!
e2e_pids+=("$waiting")
exec 7>"$work/enter"
wait_for "$(within 10)" grep -q "Press Enter to close this window." "$work/wait.out" ||
  fail "--wait did not ask for Enter: $(cat "$work/wait.out")"
sleep 0.5
kill -0 "$waiting" 2>/dev/null || fail "--wait ended without Enter: $(cat "$work/wait.out")"
expect_text wait.out "No port the dashboard can use."
echo >&7
exec 7>&-
wait_exit "$waiting"
[ "$exit_code" = 1 ] || fail "--wait after Enter ended with $exit_code, not the listing's 1"
# Without --wait, nothing waits.
QUORVEL_PORTS="$work/nothing-here" run_tool nowait
expect_status 1 "the listing without a usable port" nowait
! grep -q "Press Enter" "$work/nowait.out" || fail "the listing asks for Enter without --wait"
if $statuses_only; then
  echo "PASS: the command line's exit statuses, and --wait"
  exit 0
fi

# A simulator per behaviour, each its own port.
spawn "$ecu_sim" --link "$work/good" --replay "$registers" >/dev/null
spawn "$ecu_sim" --link "$work/silent" --silent >/dev/null
spawn "$ecu_sim" --link "$work/noecho" --no-echo --replay "$registers" >/dev/null
for link in good silent noecho; do
  wait_for 50 test -e "$work/$link" || fail "no simulator on $link"
done
export QUORVEL_PORTS="$work/good:$work/silent:$work/noecho"

run_tool list
expect_status 0 "the listing with three free ports" list
expect_text list.out "COM1  good (COM1)"
expect_text list.out "3 ports the dashboard can use: COM1, COM3, COM2. Try $tool --probe COM1 with"
# The advice names the command as the user runs it: its name where PATH finds it.
PATH=$(dirname "$tool"):$PATH run_tool onpath
expect_text onpath.out "Try quorvel-ports --probe COM1 with"

run_tool good --probe COM1
expect_status 0 "the probe of an answering ECU" good
expect_text good.out "register  1  speed period, high byte     0x0B"
expect_text good.out "engine speed         5000 rpm"
expect_text good.out "battery voltage      14.00 V"
expect_text good.out "Faults: Throttle sensor O/C, Water temp sens S/C, Spark coil 1 O/C"
expect_text good.out "The ECU answered all 17 registers"

run_tool silent --probe com2
expect_status 1 "the probe of a silent ECU" silent
expect_text silent.out "(the interface echoed them)"
expect_text silent.out "The interface echoes the requests but the ECU does not answer."

run_tool noecho --probe 3
expect_status 1 "the probe of an interface without echo" noecho
expect_text noecho.out "this interface does not echo what it sends"

run_tool gone --probe COM9
expect_status 1 "the probe of a port that is not listed" gone
expect_text gone.err "quorvel-ports: COM9 is not among the ports (COM1, COM3, COM2); run quorvel-ports to see them"

# A listed port's device names it too.
run_tool bypath --probe "$work/good"
expect_status 0 "the probe of a port named by its device" bypath
expect_text bypath.out "COM1: woken at 1200 baud"

# The probe says what it does as it goes: a silent ECU takes half a second a register.
"$tool" --probe COM2 >"$work/talking.out" 2>&1 &
talking=$!
e2e_pids+=("$talking")
sleep 2
kill -0 "$talking" 2>/dev/null || fail "the silent probe ended within 2 s"
grep -q "COM2: woken at 1200 baud" "$work/talking.out" || fail "nothing said 2 s into the probe: $(cat "$work/talking.out")"
grep -q "register  1  speed period, high byte     no answer" "$work/talking.out" ||
  fail "no register told 2 s into the probe: $(cat "$work/talking.out")"
wait_exit "$talking"

# A listed port that cannot be opened.
export QUORVEL_PORTS="$work/good:$work/nothing-here"
run_tool unopened --probe COM2
expect_status 1 "the probe of a listed port that is not there" unopened
expect_text unopened.err "quorvel-ports: cannot open COM2: No such file or directory"

export QUORVEL_PORTS="$work/nothing-here"
run_tool none
expect_status 1 "the listing without a usable port" none
expect_text none.out "No port the dashboard can use."

echo "PASS: quorvel-ports lists, probes an answering, a silent and an echo-less ECU, and exits 0, 1 and 2 as it says"
