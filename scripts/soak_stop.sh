#!/usr/bin/env bash
# Starts the native program again and again and stops it by SIGTERM at a random moment:
#
#   bash scripts/soak_stop.sh [RUNS] [wayland]     (default 60; `wayland`: glassfall --wayland on
#                                                   a headless sway instead of --window on Xvfb)
#
# Prints per kind of music the runs, hangs (not gone within 1 s), bad exit codes and the
# slowest stop; exits non-zero on any hang, bad exit or process left behind.
set -uo pipefail
cd "$(dirname "$0")/.."
runs=${1:-60}
case "$runs" in '' | *[!0-9]*) echo "usage: soak_stop.sh [RUNS] [wayland]" >&2; exit 2 ;; esac
soak=stop_soak.py
[ "${2:-}" = wayland ] && soak=wayland_stop_soak.py
bash scripts/setup.sh || exit 1
cmake --preset linux >/dev/null && cmake --build --preset linux -j "${GLASSFALL_JOBS:-2}" >/dev/null ||
  { echo "soak_stop: the build failed" >&2; exit 1; }
cd tests/e2e && exec python3 "$soak" "$runs"
