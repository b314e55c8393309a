#!/usr/bin/env bash
# The demo: builds OrvoCleanup.exe, seeds a fresh Wine prefix with the Orvo toolkit's traces,
# lists them, runs the program answering Yes, OK and Done, and lists what went and what stayed.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
# shellcheck source=scripts/wine-env.sh
. scripts/wine-env.sh
if [ "$ORVO_WINE_MODE" != native ]; then
  echo "demo.sh: this machine's kernel does not run 32-bit programs (it was booted without its" >&2
  echo "  32-bit emulation), and Wine runs the 32-bit OrvoCleanup.exe in one." >&2
  exit 1
fi

cmake --preset win32
cmake --build --preset win32 --target OrvoCleanup orvo_test_service seed_key_dacl

python=python3
if [ -x /usr/bin/python3 ]; then
  python=/usr/bin/python3
fi
"$python" tests/e2e/demo.py \
  --exe build/win32/OrvoCleanup.exe \
  --service build/win32/tests/e2e/orvo_test_service.exe \
  --seed-dacl build/win32/tests/e2e/seed_key_dacl.exe \
  --work build/demo
