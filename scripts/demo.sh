#!/usr/bin/env bash
# The demo: builds OrvoCleanup.exe, seeds a fresh Wine prefix with the Orvo toolkit's traces,
# lists them, runs the program answering Yes, OK and Done, and lists what went and what stayed.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

cmake --preset win32
cmake --build --preset win32 --target OrvoCleanup orvo_test_service

python=python3
if [ -x /usr/bin/python3 ]; then
  python=/usr/bin/python3
fi
"$python" tests/e2e/demo.py \
  --exe build/win32/OrvoCleanup.exe \
  --service build/win32/tests/e2e/orvo_test_service.exe \
  --work build/demo
