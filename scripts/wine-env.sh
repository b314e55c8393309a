# shellcheck shell=bash
# Sourced by the scripts that run Wine. Wine runs the 32-bit OrvoCleanup.exe in a 32-bit Linux
# process, which a kernel booted without its 32-bit emulation refuses ("Exec format error").
# Sets ORVO_WINE_MODE to "native" where this kernel runs 32-bit programs, and to "emulated"
# where it does not: the Wine tier then runs inside an emulated x86_64 machine whose kernel
# does (scripts/vm-run.sh). A user-mode emulator registered for 32-bit programs (qemu-i386)
# does not count as native: Wine's 32-bit side crashes under it.
# ORVO_WINE_MODE=emulated set beforehand runs the emulated machine even where the kernel would
# run the Wine tier itself (to try that path on such a machine).
emulated=/proc/sys/fs/binfmt_misc/qemu-i386
if [ "${ORVO_WINE_MODE:-}" = emulated ]; then
  :
elif [ -e "$emulated" ] && grep -qx enabled "$emulated"; then
  ORVO_WINE_MODE=emulated
elif /lib/i386-linux-gnu/ld-linux.so.2 --version >/dev/null 2>&1; then
  ORVO_WINE_MODE=native
else
  ORVO_WINE_MODE=emulated
fi
export ORVO_WINE_MODE

# Runs a command where Wine can run the 32-bit program: here, or in the emulated machine.
orvo_wine_run() {
  if [ "$ORVO_WINE_MODE" = native ]; then
    "$@"
  else
    bash "$(dirname "${BASH_SOURCE[0]}")/vm-run.sh" -- "$@"
  fi
}
