#!/usr/bin/env bash
# The dashboard through real drivers: Debian's kernel under QEMU, the program on Xvfb in
# the guest with no QUORVEL_PORTS (the system's own list). The console UART (COM1) is
# listed first and woken at start; the user chooses QEMU's FTDI lead (COM3, ftdi_sio) with
# the mouse; it is woken at 1200 and read at 7680 (QEMU's trace of the divisor), its
# readings reach the gauges (the window equals the headless picture of the same values)
# and Logging on writes them. Then the lead is pulled out (QMP device_del) and plugged
# back (device_add): the program stays up, says so, keeps COM3 and comes back by itself.
# usage: dashboard.sh KERNEL_DIR BUILD_DIR ECU_SIM REGISTERS HEADLESS_PICTURE
set -euo pipefail
KERNEL_DIR=$(realpath "$1")
build=$(realpath "$2")
ecu_sim=$(realpath "$3")
registers=$(realpath "$4")
headless_picture=$(realpath "$5")
E2E_NAME=kernel-dashboard
# shellcheck source=../e2e/lib.sh
source "$(dirname "$0")/../e2e/lib.sh"
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"
kernel_check Xvfb xdotool import compare

export QUORVEL_BUILD=$build
kernel_boot "$(dirname "$(realpath "$0")")/dashboard.guest.sh" \
  -device qemu-xhci -chardev pty,id=lead -device usb-serial,chardev=lead,serial=QV000001,id=lead
wait_for 50 test -n "$(kernel_pty lead)" || fail "QEMU made no pseudo-terminal"
spawn "$ecu_sim" --serve "$(kernel_pty lead)" --replay "$registers" --record "$work/record" >/dev/null
lead='{"driver": "usb-serial", "chardev": "lead", "serial": "QV000001", "id": "lead"}'
spawn serve_replugs lead "$lead"

wait_guest 600 pull || fail "the dashboard did not poll the lead: $(cat "$work/out/output")"
# COM1, the console's UART, was opened first and woken: its bytes are in the console.
grep -q $'\x0f\xaa\xcc' "$work/console" || fail "the first port (COM1) was not woken"
qmp device_del '{"id": "lead"}'
wait_guest 600 pulled || fail "the guest did not see the lead go: $(cat "$work/out/output")"
sleep 2
qmp device_add "$lead"
touch "$work/out/plugged"
kernel_wait 600
[ "$guest_status" = 0 ] || fail "the guest's checks ended with $guest_status: $(cat "$work/out/output")"
grep -q "exit code 0" "$work/out/exit" || fail "File, Exit: $(cat "$work/out/exit")"

# The window shows the lead's readings: the headless picture of the same values.
differing=$(differing_pixels headless "$work/out/window.png" "QEMU USB SERIAL (COM3)" "$registers")
[ "$differing" = 0 ] || fail "$differing pixels differ from the headless picture of the lead's values"
line=$(sed -n 2p "$work/out/log-before.csv" | tr -d '\r')
[ "$line" = "$(sed -n 2p "$work/headless/engine details.csv" | tr -d '\r')" ] ||
  fail "the log does not hold the lead's values: $line"

grep -q "COM3  QEMU USB SERIAL (COM3)" "$work/out/listing-after" ||
  fail "the lead did not keep COM3: $(cat "$work/out/listing-after")"
[ "$(grep -c 'note awake' "$work/record")" -ge 2 ] || fail "the lead was not woken again after it came back"
# Woken at 1200 and read at 7680, and again after the lead came back.
rates_in_order usb 1200 7680 1200 7680 ||
  fail "the FTDI chip's rates: $(rates_traced | grep usb | tr '\n' ' ')"
cat "$work/out/output"
echo "FTDI rates programmed: $(rates_traced | awk '$1 == "usb" { print $2 }' | uniq | tr '\n' ' ')"
echo "PASS: through ftdi_sio: the lead chosen by mouse, woken and polled, its values on the dashboard and in the log; pulled out and plugged back, back by itself as COM3"
