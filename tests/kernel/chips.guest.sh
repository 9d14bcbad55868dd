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
  driver_quiet "$chip's listing" "/mnt/listing-$chip" "$bin/quorvel-ports"
  [ $? != 77 ] || skip "$unbound"
  # The probe wakes the ECU and reads 17 registers: a few seconds on a quiet machine.
  driver_quiet "$chip's probe" "/mnt/probe-$chip" timeout "$(within 5)" "$bin/quorvel-ports" --probe /dev/ttyUSB0
  status=$?
  [ "$status" != 77 ] || skip "$unbound"
  echo "$chip: probe $status"
  kill "$gadget"
  wait "$gadget"
  waitfor "$(within 2)" absent /dev/ttyUSB0 || echo "$chip: /dev/ttyUSB0 stayed"
done

# A lead whose driver's probe timed out: plugged again until it binds, or given up after
# three plugs, saying why (the checks that need a lead then skip).
for deaf in 1 9; do
  mark_plug "ch340, deaf for $deaf plugs"
  "$bin/tests/lead_gadget" --chip ch340 --ecu /tmp/ecu --deaf-plugs "$deaf" >"/mnt/gadget-deaf-$deaf" 2>&1 &
  gadget=$!
  if lead_bound /dev/ttyUSB0 "deaf-$deaf" replug_gadget "$gadget" "deaf-$deaf" >"/mnt/bound-deaf-$deaf" 2>&1; then
    echo "bound" >>"/mnt/bound-deaf-$deaf"
  else
    echo "unbound: $unbound" >>"/mnt/bound-deaf-$deaf"
  fi
  kill "$gadget"
  wait "$gadget"
  waitfor "$(within 2)" absent /dev/ttyUSB0 || echo "deaf-$deaf: /dev/ttyUSB0 stayed"
done

# A lead whose driver's control messages time out (the gadget answers one late after
# SIGHUP): a run that met a time-out is run again; a check whose every run met one skips.
mark_plug "ch340, slow"
"$bin/tests/lead_gadget" --chip ch340 --ecu /tmp/ecu >/mnt/gadget-slow 2>&1 &
gadget=$!
lead_bound /dev/ttyUSB0 slow replug_gadget "$gadget" slow || skip "$unbound"
# slowed_probe once|always: the probe, with a control request late in the first run only,
# or in every run.
slowed_probe() {
  if [ "$1" = always ] || [ "$slowed" = 0 ]; then
    kill -HUP "$gadget"
    sleep 0.5 # the gadget looks at its signals every 0.1 s
  fi
  slowed=1
  timeout "$(within 5)" "$bin/quorvel-ports" --probe /dev/ttyUSB0
}
for when in once always; do
  slowed=0 unbound=
  driver_quiet "slow $when" "/mnt/probe-slow-$when" slowed_probe "$when" >"/mnt/slow-$when"
  echo "status $? $unbound" >>"/mnt/slow-$when"
done
kill "$gadget"
wait "$gadget"
