# shellcheck shell=bash
# Sourced by the scripts that run Wine. Wine runs the 32-bit OrvoCleanup.exe in a 32-bit Linux
# process, which a kernel booted without its 32-bit emulation refuses ("Exec format error").
# Sets ORVO_WINE_MODE to "native" where 32-bit programs run, "none" where they do not. A
# user-mode emulator registered for them (qemu-i386) does not count: Wine's 32-bit side crashes
# under it in the service and registry calls the tests make.
emulated=/proc/sys/fs/binfmt_misc/qemu-i386
if [ -e "$emulated" ] && grep -qx enabled "$emulated"; then
  ORVO_WINE_MODE=none
elif /lib/i386-linux-gnu/ld-linux.so.2 --version >/dev/null 2>&1; then
  ORVO_WINE_MODE=native
else
  ORVO_WINE_MODE=none
fi
export ORVO_WINE_MODE
