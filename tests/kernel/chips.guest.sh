# shellcheck shell=sh
# The guest side of chips.sh: a simulated ECU in the guest, then each chip's lead played
# in the gadget side in turn: listed, probed by its device, unplugged.
set -u
bin=$QUORVEL_BUILD
# shellcheck source=guest_lib.sh
. "$(dirname "$0")/guest_lib.sh"
"$bin/ecu-sim" --link /tmp/ecu --no-echo --replay "$QUORVEL_REGISTERS" --record /mnt/ecu-record >/dev/null &
waitfor "$(within 1)" present /tmp/ecu || { echo "the simulated ECU made no line"; exit 1; }
for chip in $QUORVEL_CHIPS; do
  mark_plug "$chip"
  "$bin/tests/lead_gadget" --chip "$chip" --ecu /tmp/ecu --record /mnt/rates >"/mnt/gadget-$chip" 2>&1 &
  gadget=$!
  lead_bound /dev/ttyUSB0 "$chip" replug_gadget "$gadget" "$chip" || skip "$unbound"
  "$bin/quorvel-ports" >"/mnt/listing-$chip" 2>&1
  # The probe wakes the ECU and reads 17 registers: a few seconds on a quiet machine.
  timeout "$(within 5)" "$bin/quorvel-ports" --probe /dev/ttyUSB0 >"/mnt/probe-$chip" 2>&1
  echo "$chip: probe $?"
  kill "$gadget"
  wait "$gadget"
  waitfor "$(within 2)" absent /dev/ttyUSB0 || echo "$chip: /dev/ttyUSB0 stayed"
done
