# shellcheck shell=sh
# The guest side of ports.sh, in the guest's chroot of the host's tree: the listing from
# the real sysfs, then a probe through each driver.
set -u
bin=$QUORVEL_BUILD
# shellcheck source=guest_lib.sh
. "$(dirname "$0")/guest_lib.sh"
# The lead's driver may still be binding when the script starts.
lead_bound /dev/ttyUSB0 lead replug_by_host lead || skip "$unbound"
"$bin/quorvel-ports" >/mnt/listing 2>&1
echo "listing: $?"
"$bin/quorvel-ports" --probe COM3 >/mnt/probe-lead 2>&1
echo "probe COM3: $?"
"$bin/quorvel-ports" --probe COM2 >/mnt/probe-uart 2>&1
echo "probe COM2: $?"
