#!/usr/bin/env bash
# Builds both presets and runs every test: the host unit and contract tests, then under Wine
# the contract tests against the win32 backend and the end-to-end runs of the 32-bit
# OrvoCleanup.exe. Where this machine's kernel runs no 32-bit programs, the Wine tier runs
# inside an emulated x86_64 machine (scripts/vm-run.sh); the builds stay here.
# Exits non-zero when any build or test fails.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
# shellcheck source=scripts/wine-env.sh
. scripts/wine-env.sh

cmake --preset host
cmake --build --preset host
cmake --preset win32
cmake --build --preset win32

status=0
started=$(date +%s)
ctest --preset host || status=1
host_s=$(($(date +%s) - started))
if [ "$ORVO_WINE_MODE" = emulated ]; then
  echo "test.sh: the Wine tests of the 32-bit build run inside an emulated x86_64 machine"
  echo "  (this kernel runs no 32-bit programs, or ORVO_WINE_MODE=emulated asked for it)."
fi
started=$(date +%s)
orvo_wine_run ctest --preset win32 || status=1
wine_s=$(($(date +%s) - started))
echo "test.sh: host tests ${host_s} s; Wine tests of the 32-bit build ($ORVO_WINE_MODE)" \
  "${wine_s} s"
if [ "$status" -ne 0 ]; then
  echo "test.sh: FAILED (see the output above; e2e logs in build/win32/tests/e2e/artifacts)" >&2
else
  echo "test.sh: all tests passed"
fi
exit "$status"
