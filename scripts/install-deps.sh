#!/usr/bin/env bash
# Installs what building and testing OrvoCleanup needs on Debian 12 (bookworm): the host and
# mingw-w64 i686 toolchains, GoogleTest's sources, Wine (64-bit prefix with the 32-bit side),
# Xvfb and xdotool for the message boxes, ImageMagick for screenshots, and for a kernel that
# runs no 32-bit programs the emulated machine of scripts/vm-run.sh (qemu, Debian's kernel,
# busybox and cpio for its initramfs). Installs only what is missing.
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
  qemu-system-x86 linux-image-amd64 busybox-static cpio
)

installed() {
  [ "$(dpkg-query -W -f='${Status}' "$1" 2>/dev/null)" = "install ok installed" ]
}

missing=()
for package in "${packages[@]}"; do
  installed "$package" || missing+=("$package")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: everything is installed"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
# wine32 is an i386 package; another apt run may hold the lock for a while, so wait for it.
apt=(apt-get -o DPkg::Lock::Timeout=900 -y -q)
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${SUDO[@]}" dpkg --add-architecture i386
fi
"${SUDO[@]}" "${apt[@]}" update
"${SUDO[@]}" "${apt[@]}" install "${missing[@]}"
