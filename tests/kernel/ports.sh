#!/usr/bin/env bash
# quorvel-ports through real drivers: Debian's kernel under QEMU lists the console UART
# (COM1), a second 16550 (COM2, its far end a pseudo-terminal here) and QEMU's FTDI lead
# (COM3, ftdi_sio, 0403:6001) from the real sysfs, with chip and rate verdict; --probe
# wakes and reads a simulated ECU through ftdi_sio and through the 8250 driver, and
# QEMU's trace shows the rates each chip was programmed with.
# usage: ports.sh KERNEL_DIR BUILD_DIR ECU_SIM REGISTERS
set -euo pipefail
KERNEL_DIR=$(realpath "$1")
build=$(realpath "$2")
ecu_sim=$(realpath "$3")
registers=$(realpath "$4")
E2E_NAME=kernel-ports
# shellcheck source=../e2e/lib.sh
source "$(dirname "$0")/../e2e/lib.sh"
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"
kernel_check

# The lead's ECU and the UART's answer differently: each probe shows which it reached.
sed 's/^8 .*/8 100/' "$registers" >"$work/registers-uart"
export QUORVEL_BUILD=$build
kernel_boot "$(dirname "$(realpath "$0")")/ports.guest.sh" \
  -chardev pty,id=uart -device isa-serial,chardev=uart \
  -device qemu-xhci -chardev pty,id=lead -device usb-serial,chardev=lead,serial=QV000001,id=lead
wait_for 50 test -n "$(kernel_pty lead)" || fail "QEMU made no pseudo-terminals"
spawn "$ecu_sim" --serve "$(kernel_pty lead)" --replay "$registers" --record "$work/record-lead" >/dev/null
spawn "$ecu_sim" --serve "$(kernel_pty uart)" --replay "$work/registers-uart" --record "$work/record-uart" >/dev/null
spawn serve_replugs lead '{"driver": "usb-serial", "chardev": "lead", "serial": "QV000001", "id": "lead"}'
kernel_wait 300
[ "$guest_status" = 0 ] || fail "the guest's checks ended with $guest_status: $(cat "$work/out/output")"

listing=$work/out/listing
for want in "COM1  Communications Port (COM1)" "  device:     /dev/ttyS0, driver serial" \
  "COM2  Communications Port (COM2)" "  device:     /dev/ttyS1, driver serial" \
  "COM3  QEMU USB SERIAL (COM3)" "  device:     /dev/ttyUSB0, driver ftdi_sio" \
  "  USB:        0403:6001, FTDI FT232R (or FT232BM/AM)" \
  "  /dev/ttyS2: an on-board serial port slot with no UART behind it (type 0)"; do
  grep -qxF -- "$want" "$listing" || fail "the listing lacks \"$want\": $(cat "$listing")"
done
[ "$(grep -c '7680 baud:  exact, as the driver reports' "$listing")" = 3 ] ||
  fail "not every port's driver reports 7680 exactly: $(grep '7680 baud' "$listing")"

grep -q "The ECU answered all 17 registers" "$work/out/probe-lead" || fail "the probe through ftdi_sio: $(cat "$work/out/probe-lead")"
grep -q "water temperature    90 C" "$work/out/probe-lead" || fail "the FTDI probe did not reach its own ECU"
grep -q "The ECU answered all 17 registers" "$work/out/probe-uart" || fail "the probe through the 8250: $(cat "$work/out/probe-uart")"
grep -q "water temperature    60 C" "$work/out/probe-uart" || fail "the UART probe did not reach its own ECU"
grep -q 'note awake' "$work/record-lead" || fail "the lead's ECU was not woken"
grep -q 'note awake' "$work/record-uart" || fail "the UART's ECU was not woken"

# What the drivers programmed into the chips: the FTDI divisor and the 16550's.
rates_traced >"$work/rates"
rates_in_order usb 1200 7680 || fail "the FTDI chip was not set to 1200 then 7680: $(tr '\n' ' ' <"$work/rates")"
rates_in_order uart 1200 7680 || fail "the 16550 was not set to 1200 then 7680: $(tr '\n' ' ' <"$work/rates")"
echo "rates programmed: $(awk '{ print $1 ":" $2 }' "$work/rates" | uniq | tr '\n' ' ')"
echo "PASS: through ftdi_sio and the 8250 driver: listed with chip and verdict, woken at 1200 and read at 7680 as the chips were programmed"
