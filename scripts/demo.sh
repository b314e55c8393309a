#!/usr/bin/env bash
# The demo: builds OrvoCleanup.exe, seeds a fresh Wine prefix with the Orvo toolkit's traces,
# lists them, runs the 32-bit program answering Yes, OK and Done, and lists what went and what
# stayed. Where this machine's kernel runs no 32-bit programs, the Wine part runs inside an
# emulated x86_64 machine (scripts/vm-run.sh).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
# shellcheck source=scripts/wine-env.sh
. scripts/wine-env.sh

cmake --preset win32
cmake --build --preset win32 --target OrvoCleanup orvo_test_service seed_key_dacl machine_state

python=python3
if [ -x /usr/bin/python3 ]; then
  python=/usr/bin/python3
fi
if [ "$ORVO_WINE_MODE" = emulated ]; then
  echo "demo.sh: the demo runs inside an emulated x86_64 machine, several minutes (this"
  echo "  kernel runs no 32-bit programs, or ORVO_WINE_MODE=emulated asked for it)."
fi
mkdir -p build/demo
orvo_wine_run "$python" tests/e2e/demo.py \
  --exe build/win32/OrvoCleanup.exe \
  --service build/win32/tests/e2e/orvo_test_service.exe \
  --seed-dacl build/win32/tests/e2e/seed_key_dacl.exe \
  --machine-state build/win32/tests/e2e/machine_state.exe \
  --log build/demo/demo.log
