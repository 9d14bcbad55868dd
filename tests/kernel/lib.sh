# shellcheck shell=bash
# Sourced by the kernel tier's checks (after tests/e2e/lib.sh): Debian's own kernel under
# QEMU, with the host's file system read-only as the guest's root, real serial drivers
# (the 8250 UART, ftdi_sio for QEMU's FTDI lead) and the check's guest side run in it.
#
# kernel_boot GUEST_SCRIPT [QEMU DEVICE ARGS...]: starts the guest; its console goes to
#   $work/console (a first UART, ttyS0 in the guest, COM1), QEMU's trace of the rates the
#   drivers program (the FTDI divisor, the 16550's) to $work/qemu.log; the guest script
#   sees $work/out as /mnt, and the host's exported QUORVEL_* variables. Needs KERNEL_DIR
#   (prepare.sh's folder).
# kernel_pty LABEL: the host side of a pty chardev QEMU made, by its id.
# kernel_wait SECONDS: waits for the guest to end; its script's exit status in $guest_status
#   (77, the guest skipped: the check skips with the guest's reason).
# qmp COMMAND [ARGUMENTS-JSON]: one QMP command on the running guest (device_del, ...).
# guest_says FILE TEXT / wait_guest SECONDS FILE: what the guest script writes to /mnt.
# rates_traced: the rates QEMU's emulated chips were programmed with, in order.

# QEMU itself can crash (a segmentation fault as a lead is pulled out, seen on a busy
# machine): that is the emulator's fault, not the program's. The check says so and starts
# again, once, from the beginning; a second crash skips it (77). The script and its
# arguments, to start again with:
kernel_script=$0
kernel_args=("$@")
# emulator_crashed: in the check's own shell, once QEMU has ended: when it died of a
# signal, starts the check again or skips it; else returns 1.
emulator_crashed() {
  local status=0 why
  [ "$BASHPID" = "$$" ] || return 1
  # A QMP connection reset comes as QEMU dies: a moment for it to end.
  wait_for 50 eval '! kill -0 "$qemu_pid" 2>/dev/null' || return 1
  wait "$qemu_pid" 2>/dev/null || status=$?
  [ "$status" -gt 128 ] && [ "$status" -lt 255 ] || return 1
  why="QEMU itself crashed (signal $((status - 128))): the emulator's fault, not the program's"
  if [ -z "${QUORVEL_QEMU_CRASHED:-}" ]; then
    echo "$why; the check starts again"
    tail -3 "$work/qemu.err" 2>/dev/null || true
    e2e_cleanup
    trap - EXIT
    exec env QUORVEL_QEMU_CRASHED=1 "$kernel_script" "${kernel_args[@]}"
  fi
  echo "SKIP: $why, twice"
  exit 77
}

# kernel_check [TOOLS...]: skips the check (77) without QEMU, python3, the TOOLS named or
#   a kernel prepared in $KERNEL_DIR; sets $work, the check's e2e work folder.
# shellcheck disable=SC2154 # e2e_work is tests/e2e/lib.sh's
kernel_check() {
  need_tools qemu-system-x86_64 python3 "$@"
  work=$e2e_work
  [ -f "$KERNEL_DIR/vmlinuz" ] || { echo "SKIP: no kernel prepared in $KERNEL_DIR"; exit 77; }
}

# shell_loop_ms: how long the same shell loop as the guest's takes here (guest_lib.sh):
# the guest's waits scale by how much slower the emulated machine is, now.
shell_loop_ms() {
  local start
  start=$(date +%s%N)
  /bin/sh -c 'i=0; while [ $i -lt 100000 ]; do i=$((i + 1)); done'
  echo $((($(date +%s%N) - start) / 1000000))
}

kernel_boot() {
  local guest=$1
  shift
  [ -f "$KERNEL_DIR/vmlinuz" ] || fail "no kernel in $KERNEL_DIR (tests/kernel/prepare.sh)"
  mkdir -p "$work/out"
  QUORVEL_HOST_LOOP_MS=$(shell_loop_ms)
  export QUORVEL_HOST_LOOP_MS
  # The check's QUORVEL_* settings, for the guest side.
  local name
  for name in $(compgen -e | grep '^QUORVEL_' || true); do
    printf "export %s='%s'\n" "$name" "${!name}"
  done >"$work/out/env"
  # QEMU's own emulation (TCG): the guest boots in a few seconds without KVM, which
  # these machines' nested KVM does not run reliably.
  qemu-system-x86_64 -accel tcg -m 1536 -smp 2 -nodefaults -display none -no-reboot \
    -kernel "$KERNEL_DIR/vmlinuz" -initrd "$KERNEL_DIR/initramfs.cpio.gz" \
    -append "console=ttyS0 quiet panic=-1 quorvel.run=$guest $(kernel_keep)" \
    -chardev file,id=console,path="$work/console" -device isa-serial,chardev=console \
    -fsdev local,id=host,path=/,readonly=on,security_model=none,multidevs=remap \
    -device virtio-9p-pci,fsdev=host,mount_tag=host \
    -fsdev local,id=out,path="$work/out",security_model=none \
    -device virtio-9p-pci,fsdev=out,mount_tag=out \
    -qmp unix:"$work/qmp",server=on,wait=off \
    -D "$work/qemu.log" -trace usb_serial_set_baud -trace serial_update_parameters \
    "$@" >"$work/qemu.err" 2>&1 &
  qemu_pid=$!
  e2e_pids+=("$qemu_pid")
  wait_for 100 test -S "$work/qmp" || fail "QEMU did not start: $(cat "$work/qemu.err")"
}

# The host folders the guest side needs, on the kernel command line: the sources (its
# scripts, the registers) and the build. The guest's own /tmp and /mnt would hide them.
kernel_root=$(realpath "$(dirname "${BASH_SOURCE[0]}")/../..")
kernel_keep() {
  local dir
  for dir in "$kernel_root" ${QUORVEL_BUILD:+"$QUORVEL_BUILD"}; do
    case $dir in
    *[[:space:]]*) fail "the guest cannot be given a folder whose name has a space: $dir" ;;
    esac
    printf 'quorvel.keep=%s ' "$dir"
  done
}

kernel_pty() {
  sed -n "s|^char device redirected to \(/dev/pts/[0-9]*\) (label $1)\$|\1|p" "$work/qemu.err" | head -1
}

# shellcheck disable=SC2034 # guest_status is for the check
kernel_wait() {
  local i
  for ((i = 0; i < $1 * 10; i++)); do
    kill -0 "$qemu_pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$qemu_pid" 2>/dev/null; then
    kill "$qemu_pid"
    fail "the guest did not end within $1 s: $(tail -20 "$work/out/output" 2>/dev/null)"
  fi
  [ -f "$work/out/status" ] || emulator_crashed || true
  guest_status=$(cat "$work/out/status" 2>/dev/null || echo none)
  # What the machine's slowness cost: the leads plugged again, the runs made again.
  grep -E "plugged again|run again" "$work/out/output" 2>/dev/null || true
  # The guest found the machine too slow for what it checks (a lead its driver never
  # bound): the check skips, saying why.
  if [ "$guest_status" = 77 ]; then
    grep '^SKIP: ' "$work/out/output" | tail -1
    exit 77
  fi
}

# A command QEMU did not answer because it crashed starts the check again (or skips it).
qmp() {
  qmp_once "$@" || { emulator_crashed || return 1; }
}
qmp_once() {
  python3 - "$work/qmp" "$1" "${2:-{\}}" <<'PY'
import json, socket, sys
s = socket.socket(socket.AF_UNIX)
s.connect(sys.argv[1])
f = s.makefile("rw")
f.readline()  # the greeting
for command, arguments in (("qmp_capabilities", {}), (sys.argv[2], json.loads(sys.argv[3]))):
    f.write(json.dumps({"execute": command, "arguments": arguments}) + "\n")
    f.flush()
    while True:
        reply = json.loads(f.readline())
        if "return" in reply or "error" in reply:
            break
    if "error" in reply:
        sys.exit("qmp %s: %s" % (command, reply["error"].get("desc")))
PY
}

guest_says() { [ -f "$work/out/$1" ] && grep -q -- "$2" "$work/out/$1"; }
# A guest that ended without writing the file is waited for: one that skipped makes the
# check skip with its reason.
guest_wrote_or_ended() { [ -f "$work/out/$1" ] || ! kill -0 "$qemu_pid" 2>/dev/null; }
wait_guest() {
  wait_for $(($1 * 10)) guest_wrote_or_ended "$2" || true
  [ -f "$work/out/$2" ] && return 0
  kill -0 "$qemu_pid" 2>/dev/null || kernel_wait 1
  return 1
}

# "usb 7680", "uart 1200", ... in the order the drivers programmed the chips.
# The 16550's lines do not say which UART: the console's (ttyS0) is set at boot and
# whenever something opens COM1.
rates_traced() {
  sed -n -e 's/.*usb_serial_set_baud.* baud rate \([0-9]*\).*/usb \1/p' \
    -e 's/.*serial_update_parameters.*baudrate=\([0-9]*\).*/uart \1/p' "$work/qemu.log"
}

# rates_in_order KIND RATE...: the chips of KIND were programmed with these rates in this
# order (others may come between).
rates_in_order() {
  local kind=$1
  shift
  rates_traced | awk -v kind="$kind" -v want="$*" '
    BEGIN { n = split(want, w, " "); i = 1 }
    $1 == kind && i <= n && $2 == w[i] { i++ }
    END { exit i <= n ? 1 : 0 }'
}

# serve_replugs ID DEVICE-JSON...: in the background, the guest's requests to pull a lead
# QEMU emulates out and plug it in again (its driver bound no tty): /mnt/replug-N names
# the lead's ID, and is answered with /mnt/replugged-N once the lead is back.
serve_replugs() {
  local n=1 id json
  declare -A devices
  while [ $# -ge 2 ]; do
    devices[$1]=$2
    shift 2
  done
  while kill -0 "$qemu_pid" 2>/dev/null; do
    if [ -f "$work/out/replug-$n" ]; then
      id=$(cat "$work/out/replug-$n")
      json=${devices[$id]:-}
      if [ -n "$json" ]; then
        qmp device_del "{\"id\": \"$id\"}" || true
        sleep 2
        qmp device_add "$json" || true
      fi
      : >"$work/out/replugged-$n"
      n=$((n + 1))
    fi
    sleep 0.2
  done
}
