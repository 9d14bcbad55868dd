#!/usr/bin/env bash
# Every chip users own, driven by its real Linux driver: in Debian's kernel under QEMU a
# program of ours plays the lead's chip in the gadget side (dummy_hcd with FunctionFS), so
# that ch341, pl2303 and cp210x drive it as they drive the chip. For each: quorvel-ports
# tells the chip and its verdict (exact, near with the rate the chip really runs, or
# impossible), and --probe reads the simulated ECU through it where the chip runs near
# 7680. The rates (asked, reported by the driver, run by the chip) go to a table,
# $work/chips.md, and are checked against what the drivers are known to do.
# usage: chips.sh KERNEL_DIR BUILD_DIR REGISTERS [TABLE]
set -euo pipefail
KERNEL_DIR=$(realpath "$1")
build=$(realpath "$2")
registers=$(realpath "$3")
table=${4:-}
E2E_NAME=kernel-chips
# shellcheck source=../e2e/lib.sh
source "$(dirname "$0")/../e2e/lib.sh"
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"
kernel_check

export QUORVEL_BUILD=$build QUORVEL_REGISTERS=$registers
export QUORVEL_CHIPS="ch340 pl2303-h pl2303-ta pl2303-tb pl2303-hxn cp2102 cp2102n cp2102n-as-cp2102"
kernel_boot "$(dirname "$(realpath "$0")")/chips.guest.sh"
kernel_wait 600
[ "$guest_status" = 0 ] || fail "the guest's checks ended with $guest_status: $(cat "$work/out/output")"

# chip, driver, the chip family quorvel-ports tells, its verdict, the rate the chip runs
# (the emulator's decoding of what the driver wrote), whether the probe reads the ECU.
expect() {
  local chip=$1 driver=$2 family=$3 verdict=$4 runs=$5 probe=$6 listing probe_out
  local reported_rate=${runs%.*}
  listing=$work/out/listing-$chip
  probe_out=$work/out/probe-$chip
  grep -qE "device: +/dev/ttyUSB0, driver $driver\$" "$listing" || fail "$chip: not driven by $driver: $(cat "$listing")"
  grep -qF "$family" "$listing" || fail "$chip: not told \"$family\": $(grep USB: "$listing")"
  grep -qF "7680 baud:  $verdict" "$listing" || fail "$chip: not \"$verdict\": $(grep '7680 baud' "$listing")"
  grep -q "^$chip: the chip runs $runs baud" "$work/out/rates" ||
    fail "$chip: the chip did not run $runs: $(grep "^$chip:" "$work/out/rates")"
  if [ "$probe" = reads ]; then
    grep -q "The ECU answered all 17 registers" "$probe_out" || fail "$chip: the probe did not read the ECU: $(cat "$probe_out")"
  else
    grep -q "cannot run 7680 baud, the ECU's rate: .*offers $reported_rate baud" "$probe_out" ||
      fail "$chip: the probe should find the rate refused: $(cat "$probe_out")"
  fi
  # The table's row: the rate the driver reports is told by quorvel-ports' verdict.
  local reported
  reported=$(sed -n 's/.*though the driver reports \([0-9]*\).*/\1/p' "$listing" | head -1)
  [ -n "$reported" ] || reported=$(awk -v r="$runs" 'BEGIN { printf "%.0f", r }')
  printf '| %s | %s | 7680 | %s | %s | %s | %s |\n' "$chip" "$driver" "$reported" "$runs" \
    "$(grep -F "$verdict" "$listing" | head -1 | sed 's/^ *7680 baud: *//')" \
    "$([ "$probe" = reads ] && echo "the probe reads all 17 registers" || echo "the rate refused: the layer takes no 9600 for 7680")" >>"$work/chips.md"
}
: >"$work/chips.md"
expect ch340 ch341-uart "1a86:7523, WCH CH340/CH341" "near: 7692 baud, +0.16% (a UART copes), though the driver reports 7680" 7692.3 reads
expect pl2303-h pl2303 "067b:2303, Prolific PL2303" "near: 7692 baud, +0.16% (a UART copes), as the driver reports" 7692.3 reads
expect pl2303-ta pl2303 "067b:2303, Prolific PL2303" "near: 7682 baud, +0.03% (a UART copes), as the driver reports" 7682.5 reads
expect pl2303-tb pl2303 "067b:2304, Prolific PL2303TB" "near: 7682 baud, +0.03% (a UART copes), as the driver reports" 7682.5 reads
expect pl2303-hxn pl2303 "067b:23a3, Prolific PL2303G" "exact, as the driver reports" 7680.0 reads
expect cp2102 cp210x "10c4:ea60, Silicon Labs CP2102 (its fixed rate table" "impossible: the chip runs 9600 baud instead (+25.00%), as the driver reports" 9600.0 deaf
expect cp2102n cp210x "10c4:ea60, Silicon Labs CP2102N" "exact, as the driver reports" 7680.0 reads
expect cp2102n-as-cp2102 cp210x "Silicon Labs CP2102 (so its product string says; its driver, which asks the chip, reports 7680 baud" \
  "exact, as the driver reports" 7680.0 reads
# A CH340 deaf to its driver for one plug is plugged again and bound; one deaf for good
# is given up after three plugs, with the kernel's reason.
grep -q "deaf-1: its driver bound no tty (.*failed.*); plugged again (2 of 3)" "$work/out/bound-deaf-1" &&
  grep -qx bound "$work/out/bound-deaf-1" || fail "a lead bound at the second plug: $(cat "$work/out/bound-deaf-1")"
grep -q "^unbound: deaf-9: its driver bound no tty in 3 plugs (last: .*failed" "$work/out/bound-deaf-9" ||
  fail "a lead never bound: $(cat "$work/out/bound-deaf-9")"
cat "$work/out/bound-deaf-1" "$work/out/bound-deaf-9"
# A probe that met a time-out of the lead's driver is run again; when every run met one,
# the check skips (77) with the kernel's reason.
slow=$work/out/slow-once
grep -q "^slow once: the lead's driver timed out (.*-110.*); run again (2 of 3)" "$slow" &&
  { grep -q "^status 77 " "$slow" ||
    { grep -q "^status 0" "$slow" && grep -q "The ECU answered all 17 registers" "$work/out/probe-slow-once"; }; } ||
  fail "a probe that met a slow driver once: $(cat "$slow" "$work/out/probe-slow-once")"
grep -q "^status 77 slow always: the lead's driver timed out in each of 3 runs (last: .*-110" "$work/out/slow-always" ||
  fail "a probe that met a slow driver every time: $(cat "$work/out/slow-always")"
cat "$slow" "$work/out/slow-always"
[ -z "$table" ] || cp "$work/chips.md" "$table"
cat "$work/chips.md"
echo "PASS: ch341, pl2303 (H, TA, TB, HXN) and cp210x (CP2102, CP2102N, a CP2102N named CP2102): the chip and verdict told, the ECU read where the chip runs near 7680; a lead its driver did not bind plugged again, and given up after three plugs; a probe that met the driver's time-out run again"
