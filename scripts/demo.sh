#!/usr/bin/env bash
# The demo: builds OrvoCleanup.exe, seeds a fresh Wine prefix with the Orvo toolkit's traces,
# lists them, runs the program answering Yes, OK and Done, and lists what went and what stayed.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
# shellcheck source=scripts/wine-env.sh
. scripts/wine-env.sh
preset=win32
if [ "$ORVO_WINE_MODE" != native ]; then
  # Without 32-bit programs the demo runs the 64-bit stand-in build of the program.
  echo "demo.sh: this machine's kernel does not run 32-bit programs (it was booted without its"
  echo "  32-bit emulation): the demo runs the 64-bit stand-in build of OrvoCleanup.exe, which"
  echo "  sees C:\\windows\\system32 itself where the shipped 32-bit program sees syswow64."
  preset=win64
  export ORVO_PROGRAM_BITS=64
fi

cmake --preset "$preset"
cmake --build --preset "$preset" --target OrvoCleanup orvo_test_service seed_key_dacl

python=python3
if [ -x /usr/bin/python3 ]; then
  python=/usr/bin/python3
fi
"$python" tests/e2e/demo.py \
  --exe "build/$preset/OrvoCleanup.exe" \
  --service "build/$preset/tests/e2e/orvo_test_service.exe" \
  --seed-dacl "build/$preset/tests/e2e/seed_key_dacl.exe" \
  --work build/demo
