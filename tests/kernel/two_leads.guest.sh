# shellcheck shell=sh
# The guest side of two_leads.sh: the ports listed three times, the store kept after the
# first, and each lead's COM number probed.
set -u
bin=$QUORVEL_BUILD
# shellcheck source=guest_lib.sh
. "$(dirname "$0")/guest_lib.sh"
# The second lead's driver may still be binding when the script starts.
lead_bound /dev/ttyUSB0 first replug_by_host first || skip "$unbound"
lead_bound /dev/ttyUSB1 second replug_by_host second || skip "$unbound"
for i in 1 2 3; do
  "$bin/quorvel-ports" --no-driver-check >"/mnt/listing-$i" 2>&1
  [ "$i" = 1 ] && cp /tmp/home/.config/quorvel/comports /mnt/store-1
done
cp /tmp/home/.config/quorvel/comports /mnt/store-3
# The leads' numbers, as the first listing gave them.
for com in $(awk '/^COM[0-9]+ / { com = $1 } /device: *\/dev\/ttyUSB/ { print com }' /mnt/listing-1); do
  "$bin/quorvel-ports" --probe "$com" >"/mnt/probe-$com" 2>&1
  echo "probe $com: $?"
done
