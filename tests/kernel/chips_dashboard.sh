#!/usr/bin/env bash
# The dashboard through the chips users own, driven by their real drivers in Debian's
# kernel under QEMU (the leads played in the gadget side): live readings through a CH340
# and a PL2303 (the window equals the headless picture of the same values, the log holds
# them), the CH340 pulled out and put back mid-drive (unbound from its controller and
# bound again: the program says so and comes back by itself, the lead keeping its COM
# number), and a CP2102, whose driver offers 9600 for 7680: the refused rate told once in
# its box, then the title says that the ECU does not answer.
# usage: chips_dashboard.sh KERNEL_DIR BUILD_DIR REGISTERS HEADLESS_PICTURE
set -euo pipefail
KERNEL_DIR=$(realpath "$1")
build=$(realpath "$2")
registers=$(realpath "$3")
headless_picture=$(realpath "$4")
E2E_NAME=kernel-chips-dashboard
# shellcheck source=../e2e/lib.sh
source "$(dirname "$0")/../e2e/lib.sh"
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"
kernel_check Xvfb xdotool import compare

export QUORVEL_BUILD=$build QUORVEL_REGISTERS=$registers QUORVEL_CHIPS="ch340 pl2303-ta cp2102"
kernel_boot "$(dirname "$(realpath "$0")")/chips_dashboard.guest.sh"
kernel_wait 900
[ "$guest_status" = 0 ] || fail "the guest's checks ended with $guest_status: $(cat "$work/out/output")"

for chip in ch340 pl2303-ta; do
  name=$(cat "$work/out/name-$chip")
  [ -n "$name" ] || fail "$chip: no port name"
  differing=$(differing_pixels "headless-$chip" "$work/out/window-$chip.png" "$name" "$registers")
  [ "$differing" = 0 ] || fail "$chip: $differing pixels differ from the headless picture of the ECU's values"
  [ "$(sed -n 2p "$work/out/log-$chip.csv" | tr -d '\r')" = "$(sed -n 2p "$work/headless-$chip/engine details.csv" | tr -d '\r')" ] ||
    fail "$chip: the log does not hold the ECU's values"
  grep -q "exit code 0" "$work/out/exit-$chip" || fail "$chip: File, Exit: $(cat "$work/out/exit-$chip")"
done
grep -q "pulled and back" "$work/out/back-ch340" || fail "the CH340 was not pulled and put back"
grep -qF "COM$(sed -n 's/.*(COM\([0-9]*\))$/\1/p' "$work/out/name-ch340")  $(cat "$work/out/name-ch340")" "$work/out/listing-after-ch340" ||
  fail "the CH340 did not keep its COM number: $(cat "$work/out/listing-after-ch340")"
grep -q "^0 boxes more after the first" "$work/out/boxes-cp2102" || fail "the CP2102's refused rate: $(cat "$work/out/boxes-cp2102")"
grep -q "exit code 0" "$work/out/exit-cp2102" || fail "cp2102: File, Exit: $(cat "$work/out/exit-cp2102")"
cat "$work/out/output"
echo "PASS: live readings through ch341 and pl2303, the CH340 pulled out and back by itself, the CP2102's refused rate told once and the ECU unheard"
