#!/usr/bin/env bash
# quorvel-ports as a user runs it: the listing and the probe against the simulated ECU
# (answering, silent, without echo), a port that is not there, and the exit statuses.
# usage: quorvel_ports.sh QUORVEL_PORTS ECU_SIM REGISTERS
set -euo pipefail
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
expect_text list.out "3 ports the dashboard can use: COM1, COM3, COM2."

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
expect_status 1 "the probe of a port that is not there" gone
expect_text gone.err "quorvel-ports: cannot open COM9: The system cannot find the file specified."

export QUORVEL_PORTS="$work/nothing-here"
run_tool none
expect_status 1 "the listing without a usable port" none
expect_text none.out "No port the dashboard can use."
echo "PASS: quorvel-ports lists, probes an answering, a silent and an echo-less ECU, and exits 0, 1 and 2 as it says"
