#!/usr/bin/env bash
# The native program's threads (music, desktop picture, read-ahead, stop pipe) under
# ThreadSanitizer: builds the linux-tsan preset's program and runs the music and stop e2e files
# against it; any race report fails the run. Needs the linux preset built (the tests' helpers).
# TSan slows the program several times over: the tests' one-second stop bounds can fail under it
# with no race at all; each file's last line counts the reports.
set -uo pipefail
cd "$(dirname "$0")/.."
jobs=${GLASSFALL_JOBS:-2}
cmake --preset linux-tsan >/dev/null && cmake --build --preset linux-tsan -j "$jobs" --target glassfall || exit 1
status=0
for file in test_linux_music test_linux_stop test_linux_hack; do
  echo "== $file under ThreadSanitizer"
  python3 tests/e2e/sanitized.py build/linux-tsan/bin/glassfall "$file" || status=1
done
exit $status
