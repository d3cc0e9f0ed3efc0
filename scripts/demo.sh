#!/usr/bin/env bash
# The main job: build the Windows programs and run the screensaver under Wine, on $DISPLAY
# when set, otherwise headless on a private Xvfb (screenshots + contact sheet in out/demo/).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows -j "${GLASSFALL_JOBS:-2}"
exec python3 tools/demo.py
