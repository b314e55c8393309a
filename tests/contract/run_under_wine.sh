#!/bin/sh
# Runs the win32 contract tests under Wine in a prefix booted afresh for this run, then stops
# the prefix's server. Usage: run_under_wine.sh PREFIX_DIR contract_tests.exe [gtest options]
set -u
prefix=$1
exe=$2
shift 2

rm -rf "$prefix"
mkdir -p "$prefix"
export WINEPREFIX="$prefix"
export WINEDEBUG=-all
# The 32-bit loader for the 32-bit build, the 64-bit one for the 64-bit stand-in build.
loader=wine
[ "${ORVO_PROGRAM_BITS:-32}" = 64 ] && loader=/usr/lib/wine/wine64
# The first wine call starts background services that keep any pipe open: log to a file.
if ! "$loader" wineboot -i >"$prefix.boot.log" 2>&1 </dev/null; then
  echo "wineboot failed:"; cat "$prefix.boot.log"
  wineserver -k; exit 1
fi
# Right after the boot the Service Control Manager is still starting the prefix's own services
# and refuses or times out a start (1055, 1053): let the booted prefix shut down first.
wineserver -w

"$loader" "$exe" "$@" >"$prefix.out.log" 2>&1 </dev/null
rc=$?
cat "$prefix.out.log"
wineserver -k
# A booted prefix is over a gigabyte: keep it only to look into a failure.
[ $rc -eq 0 ] && rm -rf "$prefix"
exit $rc
