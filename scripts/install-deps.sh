#!/usr/bin/env bash
# Installs what building and testing OrvoCleanup needs on Debian 12 (bookworm): the host and
# mingw-w64 toolchains, GoogleTest's sources, Wine (64-bit prefix with the 32-bit side), Xvfb
# and xdotool for the message boxes, ImageMagick for screenshots. Installs only what is missing.
set -euo pipefail

export DEBIAN_FRONTEND=noninteractive
SUDO=()
if [ "$(id -u)" -ne 0 ]; then
  SUDO=(sudo)
fi

packages=(
  cmake ninja-build g++ clang-format python3 googletest
  g++-mingw-w64-i686
  wine wine32:i386 wine64
  xvfb xdotool imagemagick
  shellcheck
)

installed() {
  [ "$(dpkg-query -W -f='${Status}' "$1" 2>/dev/null)" = "install ok installed" ]
}

# wine32 is an i386 package; another apt run may hold the lock for a while, so wait for it.
apt=(apt-get -o DPkg::Lock::Timeout=900 -y -q)
updated=0
install_missing() {
  local missing=()
  for package in "$@"; do
    installed "$package" || missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "install-deps: installing ${missing[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${SUDO[@]}" dpkg --add-architecture i386
  fi
  if [ "$updated" -eq 0 ]; then
    "${SUDO[@]}" "${apt[@]}" update
    updated=1
  fi
  "${SUDO[@]}" "${apt[@]}" install "${missing[@]}"
}

install_missing "${packages[@]}"

# Wine runs OrvoCleanup.exe in a 32-bit Linux process. A kernel booted without its 32-bit
# emulation refuses such a process ("Exec format error"). With ORVO_WINE_QEMU=1 the 32-bit side
# then runs under qemu's user-mode emulator, registered as the handler of 32-bit x86 programs:
# slow (a minute per program start) and not reliable enough for the test runs, so only on
# request; scripts/wine-env.sh tells the scripts which way 32-bit programs run.
runs_32bit() { /lib/i386-linux-gnu/ld-linux.so.2 --version >/dev/null 2>&1; }
if ! runs_32bit && [ "${ORVO_WINE_QEMU:-0}" = 1 ]; then
  echo "install-deps: this kernel does not run 32-bit programs; registering qemu-i386 for them"
  install_missing qemu-user-static
  binfmt=/proc/sys/fs/binfmt_misc
  if [ ! -e "$binfmt/register" ]; then
    "${SUDO[@]}" mount -t binfmt_misc binfmt_misc "$binfmt"
  fi
  if [ ! -e "$binfmt/qemu-i386" ]; then
    # ELF, 32-bit, little-endian, executable or shared object, i386.
    printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' |
      "${SUDO[@]}" tee "$binfmt/register" >/dev/null
  fi
fi
echo "install-deps: everything is installed"
