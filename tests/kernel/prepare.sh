#!/usr/bin/env bash
# Prepares the kernel tier: Debian's own kernel (the package linux-image-amd64 depends on,
# fetched with apt-get download and unpacked, never installed on the host) and a small
# initramfs (busybox, the modules the checks need, and guest-init). Kept in DIR: a second
# run fetches and unpacks nothing. Exits 77 (skipped) when the packages cannot be had.
# usage: prepare.sh DIR
set -euo pipefail
dir=$(realpath -m "$1")
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$dir"
skip() { echo "SKIP: $*"; exit 77; }
command -v qemu-system-x86_64 >/dev/null || skip "qemu-system-x86 is not installed"
[ -x /bin/busybox ] && [ -z "$(ldd /bin/busybox 2>/dev/null | grep "=>")" ] ||
  skip "busybox-static is not installed"
command -v cpio >/dev/null || skip "cpio is not installed"

# The modules each check loads, in the order they depend on each other: the host's file
# system over virtio 9p, USB with the serial drivers, and the gadget side for the leads
# that programs of ours play.
modules=(virtio_ring virtio virtio_pci_modern_dev virtio_pci_legacy_dev virtio_pci netfs fscache
  9pnet 9pnet_virtio 9p usb-common usbcore xhci-hcd xhci-pci usbserial ftdi_sio ch341 pl2303
  cp210x configfs udc-core libcomposite usb_f_fs dummy_hcd gadgetfs)

package=$(apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-/ { print $2; exit }')
[ -n "$package" ] || skip "apt knows no linux-image-amd64"
stamp="$dir/stamp"
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$package $(sha1sum "$here/guest-init" | cut -c1-40)" ]; then
  echo "kernel tier: $package, ready in $dir"
  exit 0
fi

if [ ! -d "$dir/root/boot" ] || ! ls "$dir/root/boot/vmlinuz-"* >/dev/null 2>&1; then
  rm -rf "$dir/deb" "$dir/root"
  mkdir -p "$dir/deb"
  (cd "$dir/deb" && apt-get download "$package" >/dev/null 2>&1) || skip "apt-get download $package failed"
  dpkg-deb -x "$dir"/deb/*.deb "$dir/root"
fi
vmlinuz=$(ls "$dir"/root/boot/vmlinuz-* | head -1)
release=${vmlinuz##*/vmlinuz-}
cp "$vmlinuz" "$dir/vmlinuz"

initramfs=$(mktemp -d)
trap 'rm -rf "$initramfs"' EXIT
mkdir -p "$initramfs"/{bin,dev,proc,sys,host,modules,tmp}
cp /bin/busybox "$initramfs/bin/busybox"
for tool in sh mount umount insmod mkdir poweroff sleep cat echo chroot ls mknod ln rm; do
  ln -s busybox "$initramfs/bin/$tool"
done
: >"$initramfs/modules/order"
for m in "${modules[@]}"; do
  file=$(find "$dir/root/lib/modules/$release" -name "$m.ko" -o -name "${m//-/_}.ko" | head -1)
  [ -n "$file" ] || skip "the kernel $release has no module $m"
  cp "$file" "$initramfs/modules/"
  basename "$file" >>"$initramfs/modules/order"
done
cp "$here/guest-init" "$initramfs/init"
chmod +x "$initramfs/init"
(cd "$initramfs" && find . | cpio -o -H newc --quiet | gzip -1) >"$dir/initramfs.cpio.gz"
echo "$package $(sha1sum "$here/guest-init" | cut -c1-40)" >"$stamp"
echo "kernel tier: $package ($release), prepared in $dir"
