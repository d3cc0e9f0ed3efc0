#!/usr/bin/env bash
# Runs the end-to-end tests again and again to find flaky ones.
#
#   bash scripts/soak.sh [RUNS] [PATTERN]
#
# Builds once, starts one Wine session, then runs the e2e tests whose ctest names match
# PATTERN (a ctest -R regular expression; default: all of them) RUNS times in a row (default
# 5). Prints, per test file, "runs N, failures F"; exits non-zero when any run failed. Each
# run's ctest output is kept in out/soak/.
set -uo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
pattern=${2:-.}
jobs=${GLASSFALL_JOBS:-2}
case "$runs" in '' | *[!0-9]*) echo "usage: soak.sh [RUNS] [PATTERN]" >&2; exit 2 ;; esac

bash scripts/setup.sh && bash scripts/setup.sh desktops || exit 1
for preset in windows linux; do
  cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" -j "$jobs" >/dev/null ||
    { echo "soak: the $preset build failed" >&2; exit 1; }
done

logs=out/soak
rm -rf "$logs"
mkdir -p "$logs"

python3 tests/e2e/gfharness.py start || exit 1
trap 'python3 tests/e2e/gfharness.py stop >/dev/null' EXIT

declare -A seen failed
for ((run = 1; run <= runs; run++)); do
  log="$logs/run-$run.log"
  # The Wine session above serves every run: its fixture is not started again per run.
  ctest --preset linux -L e2e -R "$pattern" -E '^e2e_session_' -FA e2e_session >"$log" 2>&1
  while read -r name verdict; do
    seen[$name]=$((${seen[$name]:-0} + 1))
    [ "$verdict" = Passed ] || failed[$name]=$((${failed[$name]:-0} + 1))
  done < <(sed -nE 's/^ *[0-9]+\/[0-9]+ Test +#[0-9]+: ([^ ]+) \.+ *(\*+)?([A-Za-z]+).*/\1 \3/p' "$log")
  echo "soak: run $run of $runs done ($(grep -c 'Passed' "$log") passed)"
done

status=0
[ ${#seen[@]} -gt 0 ] || { echo "soak: no test matched '$pattern'" >&2; exit 1; }
for name in $(printf '%s\n' "${!seen[@]}" | sort); do
  f=${failed[$name]:-0}
  [ "$f" -eq 0 ] || status=1
  printf '%-28s runs %d, failures %d\n' "${name#e2e_}.py" "${seen[$name]}" "$f"
done
exit $status
