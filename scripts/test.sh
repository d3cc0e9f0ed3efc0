#!/usr/bin/env bash
# Every test: native unit tests (also under ASan/UBSan), the end-to-end files (Wine, native X11 and
# Wayland, the native program sanitized, a three-minute soak) and ten seconds of each fuzzer.
set -uo pipefail
cd "$(dirname "$0")/.."
jobs=${GLASSFALL_JOBS:-2}

bash scripts/setup.sh || exit 1
# The desktops the end-to-end files start come in while the programs build.
mkdir -p build
bash scripts/setup.sh desktops >build/setup-desktops.log 2>&1 &
desktops_pid=$!

status=0
step() { echo "== $*"; "$@" || { echo "!! failed: $*"; status=1; }; }

step cmake --preset windows
step cmake --build --preset windows -j "$jobs"
step cmake --preset linux
step cmake --build --preset linux -j "$jobs"
step cmake --preset linux-asan
step cmake --build --preset linux-asan -j "$jobs"
[ $status -eq 0 ] || { echo "build failed"; exit 1; }
wait $desktops_pid || { cat build/setup-desktops.log; echo "!! the desktops did not install"; exit 1; }

# The fuzzers build and run at the lowest priority beside the end-to-end files, on the CPU those
# leave idle; their figures come after.
bash scripts/fuzz.sh 10 >build/fuzz-ci.log 2>&1 &
fuzz_pid=$!

step ctest --preset linux-asan
step ctest --preset linux

echo "== scripts/fuzz.sh 10"
wait $fuzz_pid || { echo "!! failed: scripts/fuzz.sh 10"; status=1; }
cat build/fuzz-ci.log
exit $status
