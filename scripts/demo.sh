#!/usr/bin/env bash
# The demo: builds OrvoCleanup.exe, seeds a fresh Wine prefix with the Orvo toolkit's traces,
# lists them, runs the program answering Yes, OK and Done, and lists what went and what stayed.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
# shellcheck source=scripts/wine-env.sh
. scripts/wine-env.sh
if [ "$ORVO_WINE_MODE" = none ] ||
  { [ "$ORVO_WINE_MODE" = emulated ] && [ "${ORVO_WINE_QEMU:-0}" != 1 ]; }; then
  echo "demo.sh: this machine's kernel does not run 32-bit programs, and Wine runs the 32-bit" >&2
  echo "  OrvoCleanup.exe in one; ORVO_WINE_QEMU=1 bash scripts/demo.sh tries it under" >&2
  echo "  qemu-i386 (slow: a minute for each program start)." >&2
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
