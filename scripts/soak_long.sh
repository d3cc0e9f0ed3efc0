#!/usr/bin/env bash
# The native program for MINUTES (default 60) on X11 and Wayland at once, looping music, keys
# pressed, memory, descriptors and threads sampled every 10 s; exits non-zero if they grow or a
# program ends. GLASSFALL_PROGRAM names another build of the program (e.g. the sanitized one).
#
#   bash scripts/soak_long.sh [MINUTES]
set -uo pipefail
cd "$(dirname "$0")/.."
minutes=${1:-60}
case "$minutes" in '' | *[!0-9]*) echo "usage: soak_long.sh [MINUTES]" >&2; exit 2 ;; esac
bash scripts/setup.sh || exit 1
cmake --preset linux >/dev/null && cmake --build --preset linux -j "${GLASSFALL_JOBS:-2}" >/dev/null ||
  { echo "soak_long: the build failed" >&2; exit 1; }
cd tests/e2e && exec python3 long_soak.py "$minutes"
