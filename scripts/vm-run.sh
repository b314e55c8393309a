#!/usr/bin/env bash
# Runs one command inside an emulated x86_64 machine whose kernel runs 32-bit programs, for a
# host whose own kernel refuses them (Wine cannot run the 32-bit OrvoCleanup.exe there).
#
#   bash scripts/vm-run.sh [--timeout SECONDS] [--share DIR] -- COMMAND [ARG...]
#
# The machine is qemu-system-x86_64 (software emulation) booting the kernel of Debian's
# linux-image-amd64 package with a small initramfs of busybox and that kernel's own modules.
# Its root is this machine's root, shared read-only over virtio-9p with a tmpfs overlay on top
# (so the host's Wine, Xvfb, python3 and ctest run inside unchanged, and /tmp is the guest's
# own tmpfs); DIR (default: the repository) is shared writable at the same path. COMMAND runs
# as root in that root, in the current folder, with this environment; its output is streamed
# here and its exit code is this script's. After SECONDS (default 4800) the machine is stopped
# and the script fails with 124. Nothing of the machine outlives the script. Test
# infrastructure only: nothing of it ships.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/.." && pwd)
timeout_s=4800
share=$repo
while [ $# -gt 0 ]; do
  case "$1" in
    --timeout) timeout_s=$2; shift 2 ;;
    --share) share=$(cd "$2" && pwd); shift 2 ;;
    --) shift; break ;;
    -*) echo "vm-run: unknown option $1" >&2; exit 2 ;;
    *) break ;;
  esac
done
if [ $# -eq 0 ]; then
  echo "usage: vm-run.sh [--timeout SECONDS] [--share DIR] -- COMMAND [ARG...]" >&2
  exit 2
fi
cwd=$(pwd)
case "$share$cwd" in
  *[[:space:]]*)
    echo "vm-run: the shared folder and the current folder must have no blanks in their paths" >&2
    exit 2 ;;
esac

# The guest kernel: the newest one installed from Debian's package with its modules.
kernel=""
for candidate in /boot/vmlinuz-*; do
  [ -e "$candidate" ] || continue
  version=${candidate#/boot/vmlinuz-}
  [ -d "/lib/modules/$version/kernel" ] && kernel=$candidate
done
if [ -z "$kernel" ]; then
  echo "vm-run: no kernel with modules in /boot (scripts/install-deps.sh installs" \
    "linux-image-amd64)" >&2
  exit 2
fi
version=${kernel#/boot/vmlinuz-}
modules=/lib/modules/$version/kernel
# insmod order: each module after the ones it needs.
module_files=(
  drivers/virtio/virtio_ring.ko drivers/virtio/virtio.ko
  drivers/virtio/virtio_pci_modern_dev.ko drivers/virtio/virtio_pci_legacy_dev.ko
  drivers/virtio/virtio_pci.ko fs/netfs/netfs.ko fs/fscache/fscache.ko
  net/9p/9pnet.ko net/9p/9pnet_virtio.ko fs/9p/9p.ko fs/overlayfs/overlay.ko
)

guest_dir=$repo/build/vm
mkdir -p "$guest_dir"
initramfs=$guest_dir/initramfs-$version.cpio.gz
stamp=$guest_dir/initramfs-$version.stamp
# Rebuilt when this script (which holds the guest's init) or the kernel changes.
want_stamp=$(sha256sum "$0" "$kernel" | sha256sum | cut -c1-16)
if [ ! -s "$initramfs" ] || [ "$(cat "$stamp" 2>/dev/null)" != "$want_stamp" ]; then
  echo "vm-run: building the guest's initramfs for kernel $version"
  tree=$(mktemp -d)
  trap 'rm -rf "$tree"' EXIT
  mkdir -p "$tree"/{bin,dev,proc,sys,modules,lower,rw,root}
  cp /bin/busybox "$tree/bin/busybox"
  for applet in sh mount umount insmod mkdir cat echo chroot stty sleep sync; do
    ln -s busybox "$tree/bin/$applet"
  done
  for module in "${module_files[@]}"; do
    if [ ! -f "$modules/$module" ]; then
      echo "vm-run: kernel module $modules/$module is missing" >&2
      exit 2
    fi
    cp "$modules/$module" "$tree/modules/"
  done
  printf '%s\n' "${module_files[@]##*/}" >"$tree/modules/order"
  cat >"$tree/init" <<'INIT'
#!/bin/sh
# The guest's init: mounts the host's root read-only with a tmpfs overlay, the writable share
# at its host path, runs the command file named on the kernel line in a chroot, reports its
# exit code on the console and in the run folder, and powers the machine off.
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
stty -F /dev/console -onlcr 2>/dev/null
fail() { echo "vm-run guest: $*"; echo "ORVO-VM-EXIT=125"; echo o >/proc/sysrq-trigger; sleep 60; }
for module in $(cat /modules/order); do
  insmod /modules/$module || fail "insmod $module failed"
done
for word in $(cat /proc/cmdline); do
  case "$word" in
    orvo.share=*) share=${word#orvo.share=} ;;
    orvo.run=*) run=${word#orvo.run=} ;;
  esac
done
opts=trans=virtio,version=9p2000.L,msize=512000
mount -t 9p -o $opts,ro,cache=loose hostroot /lower || fail "mounting the host's root failed"
mount -t tmpfs -o size=50% rw /rw
mkdir -p /rw/upper /rw/work
mount -t overlay -o lowerdir=/lower,upperdir=/rw/upper,workdir=/rw/work overlay /root ||
  fail "mounting the overlay failed"
mount -t proc proc /root/proc
mount -t sysfs sys /root/sys
mount -o bind /dev /root/dev
mkdir -p /root/dev/pts /root/dev/shm
mount -t devpts -o ptmxmode=0666,gid=5,mode=620 devpts /root/dev/pts
mount -t tmpfs -o mode=1777 shm /root/dev/shm
mount -t tmpfs -o mode=1777,size=80% tmp /root/tmp
mount -t tmpfs -o mode=755 run /root/run
# cache=loose on the share too: without the page cache a read returns at most one 9p message
# (about 500 KB), and Wine takes a short read of a program's section as its end, so a larger
# program run from the share would crash on zeroed code. Only the guest writes to the share
# while it runs, and everything is synced before the machine powers off.
mount -t 9p -o $opts,cache=loose share "/root$share" || fail "mounting the share $share failed"
chroot /root /bin/bash "$run" </dev/console >/dev/console 2>&1
rc=$?
echo "$rc" >"/root${run%/*}/exit-code"
sync
echo "ORVO-VM-EXIT=$rc"
echo o >/proc/sysrq-trigger
sleep 60
INIT
  chmod +x "$tree/init"
  (cd "$tree" && find . | cpio -o -H newc --quiet | gzip -1) >"$initramfs.new"
  mv "$initramfs.new" "$initramfs"
  echo "$want_stamp" >"$stamp"
  rm -rf "$tree"
  trap - EXIT
fi

# The command file: this environment, the current folder, the command.
run_dir=$(mktemp -d "$guest_dir/run.XXXXXX")
case "$run_dir" in
  "$share"/*) ;;
  *) echo "vm-run: the run folder $run_dir is not inside the share $share" >&2; exit 2 ;;
esac
{
  echo "# written by vm-run.sh"
  export -p | grep -v -E '^declare -x (PWD|OLDPWD|SHLVL|_|BASHOPTS|SHELLOPTS|TMPDIR|DISPLAY)='
  printf 'cd %q || exit 125\n' "$cwd"
  printf 'exec'
  printf ' %q' "$@"
  printf '\n'
} >"$run_dir/command.sh"

console=$run_dir/console.log
# shellcheck disable=SC2317  # called by the EXIT trap
cleanup() {
  # The machine ends with the script, also when the script is stopped or interrupted.
  if [ -s "$run_dir/qemu.pid" ]; then
    kill -KILL "$(cat "$run_dir/qemu.pid")" 2>/dev/null || true
  fi
  rm -rf "$run_dir"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

memory_mb=${ORVO_VM_MEMORY_MB:-8192}
echo "vm-run: booting the emulated machine (kernel $version, $(nproc) cpus, ${memory_mb} MB)" \
  "to run: $*"
started=$(date +%s)
# -cpu Nehalem: "max" turns on protection keys under TCG, and every Wine process dies of them.
set +e
timeout -k 10 "$timeout_s" qemu-system-x86_64 -machine q35 -accel tcg,thread=multi \
  -cpu Nehalem -smp "$(nproc)" -m "$memory_mb" -display none -monitor none -serial stdio \
  -no-reboot -nic none -pidfile "$run_dir/qemu.pid" \
  -kernel "$kernel" -initrd "$initramfs" \
  -append "console=ttyS0 panic=-1 quiet loglevel=1 orvo.share=$share orvo.run=$run_dir/command.sh" \
  -fsdev local,id=hostroot,path=/,security_model=none,readonly=on,multidevs=remap \
  -device virtio-9p-pci,fsdev=hostroot,mount_tag=hostroot \
  -fsdev local,id=share,path="$share",security_model=none,multidevs=remap \
  -device virtio-9p-pci,fsdev=share,mount_tag=share \
  </dev/null 2>&1 | tee "$console"
status=${PIPESTATUS[0]}
set -e
elapsed=$(($(date +%s) - started))
if [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
  echo "vm-run: gave up after ${timeout_s} s: the command had not finished in the emulated" \
    "machine; the machine was stopped" >&2
  exit 124
fi
if [ -f "$run_dir/exit-code" ]; then
  rc=$(cat "$run_dir/exit-code")
else
  rc=$(sed -n 's/^ORVO-VM-EXIT=\([0-9]*\).*/\1/p' "$console" | tail -n 1)
fi
if [ -z "$rc" ]; then
  echo "vm-run: the emulated machine stopped after ${elapsed} s (qemu exit $status) without" \
    "reporting the command's exit code" >&2
  exit 125
fi
echo "vm-run: the command ended with exit code $rc after ${elapsed} s in the emulated machine"
exit "$rc"
