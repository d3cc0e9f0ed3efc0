#!/usr/bin/env bash
# Every test: native unit tests (also under ASan/UBSan) and the Wine end-to-end tests.
set -uo pipefail
cd "$(dirname "$0")/.."
jobs=${GLASSFALL_JOBS:-2}

bash scripts/setup.sh || exit 1

status=0
step() { echo "== $*"; "$@" || { echo "!! failed: $*"; status=1; }; }

step cmake --preset windows
step cmake --build --preset windows -j "$jobs"
step cmake --preset linux
step cmake --build --preset linux -j "$jobs"
step cmake --preset linux-asan
step cmake --build --preset linux-asan -j "$jobs"
[ $status -eq 0 ] || { echo "build failed"; exit 1; }

step ctest --preset linux-asan
step ctest --preset linux
exit $status
