#!/usr/bin/env bash
# Installs what building and testing OrvoCleanup needs on Debian 12 (bookworm): the host and
# mingw-w64 toolchains (i686 for the program, x86_64 for its 64-bit stand-in), GoogleTest's
# sources, Wine (64-bit prefix with the 32-bit side), Xvfb and xdotool for the message boxes,
# ImageMagick for screenshots. Installs only what is missing.
set -euo pipefail

export DEBIAN_FRONTEND=noninteractive
SUDO=()
if [ "$(id -u)" -ne 0 ]; then
  SUDO=(sudo)
fi

packages=(
  cmake ninja-build g++ clang-format python3 googletest
  g++-mingw-w64-i686 g++-mingw-w64-x86-64-posix
  wine wine32:i386 wine64
  xvfb xdotool imagemagick
  shellcheck
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
