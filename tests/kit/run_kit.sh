#!/usr/bin/env bash
# Runs a check kit as a person on Windows would, in the tests' Wine session: unzipped into a
# folder of its own, check.cmd run by Wine's cmd, beside another program's window that stays on
# top in a corner of the screen. Checks its verdict, that the report holds all it promises, and
# that its pictures show the program and nothing else (check_report.py).
# usage: run_kit.sh KIT.zip WORK_FOLDER x86|x64 OTHER_WINDOW.exe [check.cmd's arguments...]
set -euo pipefail
kit=$1 work=$2 arch=$3 other_window=$4
shift 4
wine_session=$(cd "$(dirname "${BASH_SOURCE[0]}")/../wine" && pwd)/session.sh
if [ "$arch" = x86 ] && ! reason=$("$wine_session" can-run x86); then
  echo "$reason"
  exit 77  # skipped
fi
fail() {
  echo "check kit: $*" >&2
  exit 1
}

rm -rf "$work"
"$wine_session" ensure
eval "$("$wine_session" env)"
# Unzips the kit into WORK/RUN and runs check.cmd there with the arguments given; sets folder,
# status and output. Each run in a folder of its own, its output into a file: Wine's own
# processes that a run starts (its desktop, with the first window) live on and hold what they
# inherited, such as a program's log. A run has 90 s (some ten times what it takes), longer on a
# slower machine; one that has not ended by then fails, and the Wine session is made anew.
check() {
  local run=$work/$1
  shift
  rm -rf "$run"
  mkdir -p "$run"
  python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' "$kit" "$run"
  folder=$(echo "$run"/nuporaku-check-*)
  status=0
  (cd "$folder" && exec "$wine_session" run 90 "$run/output.txt" cmd /c check.cmd "$@") || status=$?
  output=$(tr -d '\r' <"$run/output.txt")
  echo "$output"
  [ $status -ne 124 ] || fail "check.cmd did not end in time; what it had written is above"
}

# A run in which no program counts a test fails: an argument that GoogleTest 1.12 does not know
# makes it print its help, and a later one fails for running no test.
check no-tests --gtest_filter=NoSuchTest --gtest_fail_if_no_test_run
[ $status -eq 1 ] && [[ $(tail -n 1 <<<"$output") == "FAIL: the report is in "*report ]] &&
  [[ $(tail -n 1 "$folder/report/summary.txt") == FAIL* ]] || fail "a run of no tests did not FAIL"

# Another program's window, as any desktop has one; ended by its process id.
"$NUPORAKU_WINE" "$other_window" </dev/null >"$work/other-window.txt" 2>&1 &
other=$!
trap 'kill "$other" 2>/dev/null || true' EXIT
for _ in $(seq 300); do grep -q shown "$work/other-window.txt" && break; sleep 0.1; done
grep -q shown "$work/other-window.txt" || fail "the other program's window did not show: $(cat "$work/other-window.txt")"

check some-tests "$@"
[ -f "$folder/report/summary.txt" ] || fail "no report/summary.txt"
summary=$(tr -d '\r' <"$folder/report/summary.txt")
echo "$summary"

[ $status -eq 0 ] || fail "check.cmd ended with $status"
[[ $(tail -n 1 <<<"$output") == "PASS: the report is in "*report ]] || fail "its last line is not PASS and the report"
expected=(
  '^Windows [0-9]+\.[0-9]+ build [0-9]+' '^Running under Wine ' "^Architecture: .*the kit's programs are $arch$"
  '^Screen: [0-9]+ x [0-9]+ at [0-9]+ DPI' '^"MS UI Gothic" resolves to: ".+", which has the program.s kana$'
  '^nuporaku_unit_tests\.exe: [1-9][0-9]* passed, 0 failed' '^nuporaku_resource_tests\.exe: [1-9][0-9]* passed, 0 failed'
  '^nuporaku_e2e_tests\.exe: [1-9][0-9]* passed, 0 failed' '^    fade: [0-9]+ ms' '^    deadline factor: [0-9]+\.[0-9] \(' '^    menu bar rows: [1-9]'
  '^    full-width digits typed into a field: (kept|refused)$' '^    a box without an icon: ' '^PASS$'
)
for line in "${expected[@]}"; do
  grep -qE "$line" <<<"$summary" || fail "report/summary.txt has no line like: $line"
done
for program in nuporaku_unit_tests nuporaku_resource_tests nuporaku_e2e_tests; do
  grep -q '<testsuites ' "$folder/report/$program.xml" || fail "no gtest XML of $program"
done
[[ $summary =~ Screen:\ ([0-9]+)\ x\ ([0-9]+) ]] || fail "no screen size in the summary"
python3 "$(dirname "${BASH_SOURCE[0]}")/check_report.py" "$folder/report" "${BASH_REMATCH[1]}" "${BASH_REMATCH[2]}" ||
  fail "the report's pictures are not as promised"
echo "check kit: PASS, a whole report, its pictures of the program only"
