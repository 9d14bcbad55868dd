# shellcheck shell=sh
# The guest side of chips.sh: a simulated ECU in the guest, then each chip's lead played
# in the gadget side in turn: listed, probed by its device, unplugged.
set -u
bin=$QUORVEL_BUILD
"$bin/ecu-sim" --link /tmp/ecu --no-echo --replay "$QUORVEL_REGISTERS" --record /mnt/ecu-record >/dev/null &
sleep 0.5
for chip in $QUORVEL_CHIPS; do
  "$bin/tests/lead_gadget" --chip "$chip" --ecu /tmp/ecu --record /mnt/rates >"/mnt/gadget-$chip" 2>&1 &
  gadget=$!
  tries=0
  until [ -e /dev/ttyUSB0 ] || [ "$tries" -ge 50 ]; do sleep 0.2; tries=$((tries + 1)); done
  "$bin/quorvel-ports" >"/mnt/listing-$chip" 2>&1
  timeout 60 "$bin/quorvel-ports" --probe /dev/ttyUSB0 >"/mnt/probe-$chip" 2>&1
  echo "$chip: probe $?"
  kill "$gadget"
  wait "$gadget"
  tries=0
  while [ -e /dev/ttyUSB0 ] && [ "$tries" -lt 50 ]; do sleep 0.2; tries=$((tries + 1)); done
done
