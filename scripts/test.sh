#!/usr/bin/env bash
# Builds everything and runs every test: the portable rules natively (ASan/UBSan, fuzzing),
# then the x86 and x64 programs and their tests under a private Wine session. Where this
# machine cannot run 32-bit programs, the x86 tests that need Wine are reported as skipped.
# It ends with the verdict: each preset's counts as CTest counts them, what was not run, and
# the run's totals as its last line, "N passed, N failed, N skipped"; the same lines are
# written to build/test-results/verdict.txt (which .ci/run reads), CTest's JUnit files beside it.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

results=$PWD/build/test-results
rm -rf "$results"

./scripts/install-deps.sh

# CTest stops the Wine session after the last test that needs it; a run that CTest gives up
# (a test program it cannot list) would leave the session running.
trap 'tests/wine/session.sh stop' EXIT

duration() {
  if [ "$1" -ge 60 ]; then echo "$(($1 / 60)) min $(($1 % 60)) s"; else echo "$1 s"; fi
}

status=0
for preset in host x86 x64; do
  echo "=== $preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" || { echo "=== $preset: the build failed; no tests were run."; exit 1; }
done
mkdir -p "$results"
verdict=() total_passed=0 total_failed=0 total_skipped=0
for preset in host x86 x64; do
  echo "=== $preset: tests"
  started=$SECONDS
  ctest --preset "$preset" -j2 --output-junit "$results/$preset.xml" || status=1
  took=$(duration $((SECONDS - started)))
  if [ ! -f "$results/$preset.xml" ]; then
    verdict+=("$preset: CTest gave no results, in $took")
    status=1
    continue
  fi
  # As CTest counts: a test skipped by its own word (SKIP_RETURN_CODE, SKIP_REGULAR_EXPRESSION)
  # is skipped, one that could not be started is failed, a disabled one is not counted.
  read -r passed failed skipped < <(awk '
    /<testcase / { all++; if (/ status="run"/) passed++; if (/ status="disabled"/) disabled++ }
    /<skipped message="SKIP_/ { skipped++ }
    END { print passed + 0, all - passed - disabled - skipped, skipped + 0 }' "$results/$preset.xml")
  verdict+=("$preset: $passed passed, $failed failed, $skipped skipped in $took")
  total_passed=$((total_passed + passed)) total_failed=$((total_failed + failed))
  total_skipped=$((total_skipped + skipped))
done
if ! reason=$(tests/wine/session.sh can-run x86); then
  verdict+=("Not run: the x86 unit and end-to-end tests (shown as skipped; the x86 executable's file checks and resources were tested), because ${reason#*: }")
fi
verdict+=("$total_passed passed, $total_failed failed, $total_skipped skipped")

echo "=== Verdict, after $(duration $SECONDS) in all"
printf '%s\n' "${verdict[@]}" | tee "$results/verdict.txt"
exit $status
