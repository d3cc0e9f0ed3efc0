#!/usr/bin/env bash
# Runs every libFuzzer program for SECONDS each (default 10) on a copy of its stored corpus:
#   scripts/fuzz.sh [SECONDS]
# Prints each target's runs, coverage and crash, if any. A crash input is kept in the target's
# corpus (tests/fuzz/corpus/<target>/), where its corpus driver replays it in the normal suite;
# the script then exits with 1. GLASSFALL_JOBS sets the build's parallel jobs (default 1).
set -uo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-10}
jobs=${GLASSFALL_JOBS:-1}
case $seconds in '' | *[!0-9]*) echo "usage: scripts/fuzz.sh [SECONDS]" >&2; exit 2 ;; esac

nice -n 19 cmake --preset linux-fuzz >/dev/null || { echo "!! linux-fuzz did not configure"; exit 1; }
grep -q '^GLASSFALL_HAVE_LIBFUZZER:INTERNAL=1' build/linux-fuzz/CMakeCache.txt ||
  { echo "!! clang++ here has no libFuzzer"; exit 1; }
nice -n 19 cmake --build --preset linux-fuzz -j "$jobs" >build/linux-fuzz/fuzz-build.log 2>&1 ||
  { tail -30 build/linux-fuzz/fuzz-build.log; echo "!! the fuzz programs did not build"; exit 1; }

# UB aborts (the programs are built so), and a stack trace says where.
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export ASAN_OPTIONS=detect_leaks=1
status=0
printf '%-20s %10s %7s %7s %7s  %s\n' target runs cov ft corpus result
for corpus in tests/fuzz/corpus/*/; do
  target=$(basename "$corpus")
  program=build/linux-fuzz/tests/fuzz/${target}_fuzz
  [ -x "$program" ] || { echo "!! $target: no program $program"; status=1; continue; }
  work=build/linux-fuzz/fuzz-work/$target
  rm -rf "$work" && mkdir -p "$work/corpus" "$work/crashes"
  cp "$corpus"* "$work/corpus/"
  log=$work/fuzz.log
  # The bitmap reader's pictures need room for a header and some rows; the rest stay short.
  max_len=4096
  [ "$target" = bitmap ] && max_len=8192
  nice -n 19 "$program" -max_total_time="$seconds" -max_len="$max_len" -timeout=10 -rss_limit_mb=2560 \
    -print_final_stats=1 -artifact_prefix="$work/crashes/" "$work/corpus" >"$log" 2>&1
  rc=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  last=$(grep -E '^#[0-9]+' "$log" | tail -1)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
  corp=$(sed -n 's/.* corp: \([0-9]*\).*/\1/p' <<<"$last")
  result="no crash"
  found=$(find "$work/crashes" -type f | head -1)
  if [ -n "$found" ] || [ $rc -ne 0 ]; then
    status=1
    if [ -n "$found" ]; then
      kept=tests/fuzz/corpus/$target/$(basename "$found")
      cp "$found" "$kept"
      result="CRASH, kept as $kept"
    else
      result="FAILED (exit $rc)"
    fi
  fi
  printf '%-20s %10s %7s %7s %7s  %s\n' "$target" "${runs:-?}" "${cov:-?}" "${ft:-?}" "${corp:-?}" "$result"
  if [ $status -ne 0 ] && [ "$result" != "no crash" ]; then
    grep -E 'ERROR|runtime error|broke a promise|SUMMARY' "$log" | head -5 | sed 's/^/    /'
    echo "    log: $log"
  fi
done
exit $status
