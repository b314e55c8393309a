#!/usr/bin/env bash
# Builds both presets and runs every test: the host unit and contract tests, then under Wine
# the contract tests against the win32 backend and the end-to-end run of OrvoCleanup.exe.
# Exits non-zero when any build or test fails.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

cmake --preset host
cmake --build --preset host
cmake --preset win32
cmake --build --preset win32

status=0
ctest --preset host || status=1
ctest --preset win32 || status=1
if [ "$status" -ne 0 ]; then
  echo "test.sh: FAILED (see the output above; e2e logs in build/win32/tests/e2e/artifacts)" >&2
else
  echo "test.sh: all tests passed"
fi
exit "$status"
