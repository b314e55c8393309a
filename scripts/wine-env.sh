# shellcheck shell=bash
# Sourced by the scripts that run Wine. Sets ORVO_WINE_MODE to how this machine runs the 32-bit
# programs Wine needs: "native", "emulated" (qemu-i386, registered by install-deps.sh with
# ORVO_WINE_QEMU=1) or "none" (a kernel booted without its 32-bit emulation).
if [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ] &&
  grep -qx enabled /proc/sys/fs/binfmt_misc/qemu-i386; then
  ORVO_WINE_MODE=emulated
  # Wine's 32-bit loader maps fixed addresses (the shared user data at 0x7ffe0000): the
  # emulator must reserve the guest's address space up front to leave them free.
  export QEMU_RESERVED_VA=0xf7000000
  # A 32-bit program takes about a minute to start there: every wait of the Wine tests grows.
  export ORVO_WINE_TIME_SCALE=${ORVO_WINE_TIME_SCALE:-8}
elif /lib/i386-linux-gnu/ld-linux.so.2 --version >/dev/null 2>&1; then
  ORVO_WINE_MODE=native
else
  ORVO_WINE_MODE=none
fi
export ORVO_WINE_MODE
