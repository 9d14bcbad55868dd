#!/usr/bin/env bash
# Two leads with one USB serial number (cheap FTDI clones share one) plugged at once into
# Debian's kernel under QEMU: each keeps its own COM number from listing to listing (by
# its place on the bus), the store of COM numbers is not written again, and --probe of
# each number reaches its own lead's far end.
# usage: two_leads.sh KERNEL_DIR BUILD_DIR ECU_SIM REGISTERS
set -euo pipefail
KERNEL_DIR=$(realpath "$1")
build=$(realpath "$2")
ecu_sim=$(realpath "$3")
registers=$(realpath "$4")
E2E_NAME=kernel-two-leads
# shellcheck source=../e2e/lib.sh
source "$(dirname "$0")/../e2e/lib.sh"
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"
kernel_check

# Each lead's ECU tells itself by its water temperature: 90 C and 60 C.
sed 's/^8 .*/8 100/' "$registers" >"$work/registers-second"
export QUORVEL_BUILD=$build
kernel_boot "$(dirname "$(realpath "$0")")/two_leads.guest.sh" -device qemu-xhci \
  -chardev pty,id=first -device usb-serial,chardev=first,serial=A50285BI,id=first \
  -chardev pty,id=second -device usb-serial,chardev=second,serial=A50285BI,id=second
wait_for 50 test -n "$(kernel_pty second)" || fail "QEMU made no pseudo-terminals"
spawn "$ecu_sim" --serve "$(kernel_pty first)" --replay "$registers" >/dev/null
spawn "$ecu_sim" --serve "$(kernel_pty second)" --replay "$work/registers-second" >/dev/null
spawn serve_replugs first '{"driver": "usb-serial", "chardev": "first", "serial": "A50285BI", "id": "first"}' second '{"driver": "usb-serial", "chardev": "second", "serial": "A50285BI", "id": "second"}'
kernel_wait 300
[ "$guest_status" = 0 ] || fail "the guest's checks ended with $guest_status: $(cat "$work/out/output")"

# The COM number of each tty in a listing.
numbers() { awk '/^COM[0-9]+ / { com = $1 } /device: *\/dev\/ttyUSB/ { sub(",", "", $2); print $2, com }' "$1" | sort; }
numbers "$work/out/listing-1" >"$work/numbers-1"
[ "$(wc -l <"$work/numbers-1")" = 2 ] || fail "two leads are not two ports: $(cat "$work/out/listing-1")"
[ "$(cut -d' ' -f2 "$work/numbers-1" | sort -u | wc -l)" = 2 ] || fail "the two leads share a number: $(cat "$work/numbers-1")"
for i in 2 3; do
  numbers "$work/out/listing-$i" | cmp -s - "$work/numbers-1" ||
    fail "listing $i numbered the leads otherwise: $(numbers "$work/out/listing-$i" | tr '\n' ' ') (first: $(tr '\n' ' ' <"$work/numbers-1"))"
done
cmp -s "$work/out/store-1" "$work/out/store-3" || fail "the store was written again: $(cat "$work/out/store-3")"

# ttyUSB0 is the first lead (QEMU's first port), its ECU at 90 C.
first=$(awk '$1 == "/dev/ttyUSB0" { print $2 }' "$work/numbers-1")
second=$(awk '$1 == "/dev/ttyUSB1" { print $2 }' "$work/numbers-1")
grep -q "water temperature    90 C" "$work/out/probe-$first" || fail "$first did not reach the first lead: $(cat "$work/out/probe-$first")"
grep -q "water temperature    60 C" "$work/out/probe-$second" || fail "$second did not reach the second lead: $(cat "$work/out/probe-$second")"
echo "PASS: two leads with serial number A50285BI: /dev/ttyUSB0 $first and /dev/ttyUSB1 $second in every listing, the store unchanged, each probe on its own lead"
