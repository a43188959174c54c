#!/usr/bin/env bash
# Builds everything and runs every test: the portable rules natively (ASan/UBSan, fuzzing),
# then the x86 and x64 programs and their tests under a private Wine session. Where this
# machine's kernel cannot start 32-bit programs, the x86 tests that need Wine (CTest's label
# wine) run in a virtual machine with Debian's kernel (scripts/in-vm.sh), their deadlines
# scaled by how much slower Wine is there, measured; the rest run here. Where no virtual machine
# can be had, or Wine's 32-bit side is not installed, they are reported as skipped, saying why.
#   NUPORAKU_X86_VM   auto (default): a virtual machine where the kernel needs one; always: one
#                     even where it does not (to try it); never: none (the tests are skipped)
# It ends with the verdict: each preset's counts as CTest counts them, what was not run, and
# the run's totals as its last line, "N passed, N failed, N skipped"; the same lines are
# written to build/test-results/verdict.txt (which .ci/run reads), CTest's JUnit files beside it.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

results=$PWD/build/test-results
rm -rf "$results"

./scripts/install-deps.sh

case ${NUPORAKU_X86_VM:-auto} in
  always) x86_vm=yes ;;
  never) x86_vm=no ;;
  # Not where only Wine's 32-bit side is missing (a mirror mid-sync): the guest's root would lack it too.
  auto) x86_vm=no
    if [ -x /usr/lib/wine/wine ] && [ "${NUPORAKU_WINE64_ONLY:-0}" != 1 ] && ! tests/wine/session.sh can-run x86 >/dev/null; then
      x86_vm=yes
    fi ;;
  *) echo "test.sh: NUPORAKU_X86_VM must be auto, always or never, not '$NUPORAKU_X86_VM'" >&2; exit 2 ;;
esac

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
  if ! cmake --build --preset "$preset"; then
    mkdir -p "$results"
    printf '%s\n' "$preset: the build failed; no tests were run" "0 passed, 1 failed, 0 skipped" | tee "$results/verdict.txt"
    exit 1
  fi
done
mkdir -p "$results"
verdict=() total_passed=0 total_failed=0 total_skipped=0
# CTest's counts in a JUnit file, as it counts: a test skipped by its own word (SKIP_RETURN_CODE,
# SKIP_REGULAR_EXPRESSION) is skipped, one that could not be started is failed, a disabled one is
# not counted. Prints "PASSED FAILED SKIPPED".
counts() {
  awk '
    /<testcase / { all++; if (/ status="run"/) passed++; if (/ status="disabled"/) disabled++ }
    /<skipped message="SKIP_/ { skipped++ }
    END { print passed + 0, all - passed - disabled - skipped, skipped + 0 }' "$1"
}
# Adds a line "NAME: N passed, N failed, N skipped in TIME" for the JUnit files given and, unless
# NAME is indented (a part of a line before), their counts to the totals.
count_line() {
  local name=$1 took=$2 file passed=0 failed=0 skipped=0 p f s
  shift 2
  for file; do
    read -r p f s < <(counts "$file")
    passed=$((passed + p)) failed=$((failed + f)) skipped=$((skipped + s))
  done
  # The x86 line also counts what a guest that stopped had run, and did not get to, as failed.
  if [ "$name" = x86 ]; then passed=$((passed + vm_passed)) failed=$((failed + vm_failed)); fi
  verdict+=("$name: $passed passed, $failed failed, $skipped skipped in $took")
  [[ $name == " "* ]] && return 0
  total_passed=$((total_passed + passed)) total_failed=$((total_failed + failed))
  total_skipped=$((total_skipped + skipped))
}
x86_files=() x86_took=0 vm_passed=0 vm_failed=0 vm_note=''
for preset in host x86 x64; do
  echo "=== $preset: tests"
  started=$SECONDS
  filter=()
  [ "$preset:$x86_vm" != x86:yes ] || filter=(-LE wine)  # the rest in the virtual machine, below
  ctest --preset "$preset" -j2 "${filter[@]}" --output-junit "$results/$preset.xml" || status=1
  if [ ! -f "$results/$preset.xml" ]; then
    verdict+=("$preset: CTest gave no results, in $(duration $((SECONDS - started)))")
    status=1
  elif [ "$preset:$x86_vm" = x86:yes ]; then
    x86_files=("$results/x86.xml") x86_took=$((SECONDS - started))
  else
    count_line "$preset" "$(duration $((SECONDS - started)))" "$results/$preset.xml"
  fi
done

# The x86 tests that need Wine, in the virtual machine: CTest runs there on what was built here,
# the tree at the same path. Its deadlines grow by how many times slower Wine starts a program
# there than here, measured at both ends just before.
if [ $x86_vm = yes ]; then
  echo "=== x86: the tests that need Wine, in a virtual machine"
  started=$SECONDS
  vm_status=0
  host_ms=$(tests/wine/session.sh speed) && tests/wine/session.sh stop || vm_status=1
  [ $vm_status -ne 0 ] || NUPORAKU_VM_IDLE_TIMEOUT=${NUPORAKU_VM_IDLE_TIMEOUT:-600} scripts/in-vm.sh \
    tests/wine/session.sh scale "$host_ms" ctest --preset x86 -j2 -L wine --output-junit "$results/x86-vm.xml" ||
    vm_status=$?
  vm_took=$((SECONDS - started))
  if [ -f "$results/x86-vm.xml" ]; then  # $results is made anew by each run
    x86_files+=("$results/x86-vm.xml")
    [ $vm_status -eq 0 ] || status=1
  elif [ $vm_status -eq 3 ]; then  # the guest could not be made: not run, as without one
    x86_vm=unmade
  else
    # The guest stopped before CTest wrote its results: count from CTest's lines as they came
    # ("12/102 Test #40: NAME .... Passed"); what it did not get to counts as failed.
    read -r seen_passed seen_failed planned < <(awk '
      match($0, /^ *[0-9]+\/[0-9]+ Test +#[0-9]+: /) {
        split(substr($0, RSTART, RLENGTH), part, /[ \/]+/); total = part[1] == "" ? part[3] : part[2]
        if ($0 ~ / Passed +[0-9.]+ sec/) passed++; else failed++
      }
      END { print passed + 0, failed + 0, total + 0 }' build/vm/output.log 2>/dev/null || echo 0 0 0)
    unrun=$((planned - seen_passed - seen_failed))
    [ "$planned" -gt 0 ] || unrun=1  # stopped before CTest listed its tests: at least one failure
    vm_passed=$seen_passed vm_failed=$((seen_failed + unrun))
    vm_note="  of them in a virtual machine that stopped (status $vm_status) after $(duration $vm_took), before CTest's results: $vm_passed passed, $vm_failed failed, of which $unrun not run (of the $planned tests CTest listed there); see the lines above"
    status=1
  fi
fi
if [ ${#x86_files[@]} -gt 0 ]; then
  count_line x86 "$(duration $((x86_took + ${vm_took:-0})))" "${x86_files[@]}"
  [ -z "$vm_note" ] || verdict+=("$vm_note")
  if [ ${#x86_files[@]} -eq 2 ]; then
    factor=$(grep -oE -m 1 'Wine is [0-9.]+ times as slow' build/vm/output.log | cut -d' ' -f3) || factor='?'
    count_line "  of them in a virtual machine ($(cat build/vm/accel 2>/dev/null), Wine $factor times as slow as here)" \
      "$(duration "$vm_took")" "${x86_files[1]}"
  fi
fi
if [ $x86_vm = unmade ]; then
  verdict+=("Not run: the x86 tests that need Wine, because the virtual machine for them could not be made ($(cat build/vm/not-made.txt 2>/dev/null || echo 'see the lines above')); the other x86 tests were run")
elif [ $x86_vm = no ] && ! reason=$(tests/wine/session.sh can-run x86); then
  verdict+=("Not run: the x86 unit and end-to-end tests (shown as skipped; the x86 executable's file checks and resources were tested), because ${reason#*: }${NUPORAKU_X86_VM:+ (NUPORAKU_X86_VM=$NUPORAKU_X86_VM)}")
fi
# A failed run never says that nothing failed: where its failure is in no count (CTest gave no
# results), it is one.
if [ $status -ne 0 ] && [ $total_failed -eq 0 ]; then
  verdict+=("FAILED: the run failed outside the tests' counts (see the lines above), counted as 1 failed")
  total_failed=1
fi
verdict+=("$total_passed passed, $total_failed failed, $total_skipped skipped")

echo "=== Verdict, after $(duration $SECONDS) in all"
printf '%s\n' "${verdict[@]}" | tee "$results/verdict.txt"
exit $status
