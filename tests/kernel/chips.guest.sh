# shellcheck shell=sh
# The guest side of chips.sh: a simulated ECU in the guest, then each chip's lead played
# in the gadget side in turn: listed, probed by its device, unplugged.
set -u
bin=$QUORVEL_BUILD
# shellcheck source=guest_lib.sh
. "$(dirname "$0")/guest_lib.sh"
"$bin/ecu-sim" --link /tmp/ecu --no-echo --replay "$QUORVEL_REGISTERS" --record /mnt/ecu-record >/dev/null &
waitfor 20 present /tmp/ecu || { echo "the simulated ECU made no line"; exit 1; }
for chip in $QUORVEL_CHIPS; do
  "$bin/tests/lead_gadget" --chip "$chip" --ecu /tmp/ecu --record /mnt/rates >"/mnt/gadget-$chip" 2>&1 &
  gadget=$!
  waitfor 10 present /dev/ttyUSB0 || echo "$chip: no /dev/ttyUSB0"
  "$bin/quorvel-ports" >"/mnt/listing-$chip" 2>&1
  timeout 60 "$bin/quorvel-ports" --probe /dev/ttyUSB0 >"/mnt/probe-$chip" 2>&1
  echo "$chip: probe $?"
  kill "$gadget"
  wait "$gadget"
  waitfor 10 absent /dev/ttyUSB0 || echo "$chip: /dev/ttyUSB0 stayed"
done
