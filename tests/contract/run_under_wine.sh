#!/bin/sh
# Runs the win32 contract tests under Wine in a prefix booted afresh for this run, in a new
# folder under $TMPDIR (or /tmp: a tmpfs inside the emulated machine, where a prefix on the
# shared build folder would be slow to boot), then stops the prefix's server and removes it.
# The cases' output is also kept beside the test program, in contract_wine.log.
# Usage: run_under_wine.sh contract_tests.exe [gtest options]
set -u
exe=$1
shift

work=$(mktemp -d "${TMPDIR:-/tmp}/orvo-contract.XXXXXX") || exit 1
export WINEPREFIX="$work/prefix"
export WINEDEBUG=-all
# The first wine call starts background services that keep any pipe open: log to a file.
if ! wine wineboot -i >"$work/boot.log" 2>&1 </dev/null; then
  echo "wineboot failed:"; cat "$work/boot.log"
  wineserver -k; rm -rf "$work"; exit 1
fi
# Right after the boot the Service Control Manager is still starting the prefix's own services
# and refuses or times out a start (1055, 1053): let the booted prefix shut down first.
wineserver -w

# A folder link as Wine has one: a Unix symbolic link to a folder, made here because no program
# inside Wine can make one. The cases find it through the environment.
links="$WINEPREFIX/drive_c/orvo-contract-link"
if ! { mkdir -p "$links/target" && : >"$links/target/inside.txt" && ln -s target "$links/link"; }
then
  echo "could not make the folder link"; wineserver -k; rm -rf "$work"; exit 1
fi
export ORVO_CONTRACT_FOLDER_LINK='C:\orvo-contract-link\link'

wine "$exe" "$@" >"$work/out.log" 2>&1 </dev/null
rc=$?
cat "$work/out.log"
cp "$work/out.log" "$(dirname "$exe")/contract_wine.log"
wineserver -k
wineserver -w
rm -rf "$work"
exit $rc
