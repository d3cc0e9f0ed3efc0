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
[ $status -eq 0 ] || { echo "build failed"; exit 1; }
wait $desktops_pid || { cat build/setup-desktops.log; echo "!! the desktops did not install"; exit 1; }

# The end-to-end files wait on screens far more than they compute: the sanitized build and its
# unit tests, then the fuzzers, take the CPU they leave idle, at a lower priority. The sanitized
# e2e files come last in their lanes and wait for that build (the status file).
export GLASSFALL_SANITIZED_BUILD_STATUS=$PWD/build/sanitized-build.status
rm -f "$GLASSFALL_SANITIZED_BUILD_STATUS"
# One background job at a time, so that the load beside the end-to-end files stays bounded. Its
# exit code has a bit for each part that failed: 1 the sanitized build or its unit tests, 2 the
# fuzzers.
(
  code=0
  { cmake --preset linux-asan && nice -n 10 cmake --build --preset linux-asan -j "$jobs"; } \
    >build/sanitized-build.log 2>&1 || code=1
  echo $code >"$GLASSFALL_SANITIZED_BUILD_STATUS"
  [ $code -eq 0 ] && nice -n 10 ctest --preset linux-asan >build/sanitized-unit.log 2>&1 || code=1
  GLASSFALL_JOBS=$jobs bash scripts/fuzz.sh 10 >build/fuzz-ci.log 2>&1 || code=$((code | 2))
  exit $code
) &
background_pid=$!

step ctest --preset linux

echo "== cmake --build --preset linux-asan; ctest --preset linux-asan; scripts/fuzz.sh 10"
wait $background_pid
background=$?
if [ $((background & 1)) -ne 0 ]; then
  echo "!! failed: the sanitized build or its unit tests"
  status=1
  grep -E -B2 -A12 'error:|Error [0-9]' build/sanitized-build.log | head -80
  cat build/sanitized-unit.log 2>/dev/null
else
  tail -4 build/sanitized-unit.log
fi
[ $((background & 2)) -ne 0 ] && { echo "!! failed: scripts/fuzz.sh 10"; status=1; }
cat build/fuzz-ci.log
exit $status
