#!/usr/bin/env bash
# Measures nuporaku.exe under Wine beside minimal.exe, a program that only shows one message
# box: executable size, start-up latency to the title box, peak working set at the title and
# receipt boxes, and the fade window's duration and CPU time. Prints a Markdown table and
# writes it, with the date and the machine, to bench/results.md.
#
#   bench/run.sh
#
# Builds what it needs by itself, into BENCH_DIR (default /tmp/bench), never into build/: the
# program for x86 and x64, and bench/ (measure.exe, minimal.exe). Runs Wine in a private session
# of its own (BENCH_DIR/wine) and stops that session at the end.
# Where this machine cannot run 32-bit programs under Wine, measures the x64 programs alone, with
# an x64 measure.exe, and says so in the report.
# Knobs: BENCH_ROUNDS=21 (interleaved start-up runs of each program), BENCH_VISITS=5 (accepted
# visits), BENCH_FADES=7 (empty orders), BENCH_X64=1 (0: no x64 start-up runs),
# BENCH_BEFORE=f449967 (an earlier commit whose program sizes stand beside today's: by default
# the last one before the form made room for a wrapping menu bar; empty: none).
set -euo pipefail

bench=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$bench/.." && pwd)
work=${BENCH_DIR:-/tmp/bench}
rounds=${BENCH_ROUNDS:-21}
visits=${BENCH_VISITS:-5}
fades=${BENCH_FADES:-7}
with_x64=${BENCH_X64:-1}
before=${BENCH_BEFORE-f449967}
startup_goal=1.05  # start-up and working set at the title box, as a ratio to the yardstick
timer_minimum_ms=10  # USER_TIMER_MINIMUM: SetTimer raises shorter intervals to this
fade_ticks=255

fail() {
  echo "bench: $*" >&2
  exit 1
}

mkdir -p "$work"
work=$(cd "$work" && pwd)
case "$work" in
  "$root/build" | "$root/build/"*) fail "BENCH_DIR must not be inside build/: the tests' builds and Wine session live there" ;;
esac

"$root/scripts/install-deps.sh"
# x86 is the primary build; x64 stands in for it where x86 programs cannot run here.
primary=x86 primary_note=""
if ! reason=$("$root/tests/wine/session.sh" can-run x86); then
  primary=x64 with_x64=0
  primary_note=", not the x86 ones: ${reason#*: }"
  echo "bench: measuring the x64 programs$primary_note" >&2
fi

# --- Builds ----------------------------------------------------------------------------------
build_log=$work/build.log
: >"$build_log"
# build DIR SOURCE TRIPLE TARGET [CMAKE OPTIONS...]
build() {
  local dir=$1 source=$2 triple=$3 target=$4
  shift 4
  echo "bench: building $target in $dir" >&2
  if ! { cmake -S "$source" -B "$dir" -G Ninja --toolchain "$root/cmake/$triple.cmake" "$@" &&
    cmake --build "$dir" --target "$target"; } >>"$build_log" 2>&1; then
    tail -n 30 "$build_log" >&2
    fail "building $target in $dir failed; the whole log is $build_log"
  fi
}
program_options=(-DCMAKE_BUILD_TYPE=MinSizeRel -DBUILD_TESTING=OFF)
build "$work/x86" "$root" i686-w64-mingw32 nuporaku "${program_options[@]}"
build "$work/x64" "$root" x86_64-w64-mingw32 nuporaku "${program_options[@]}"
if [ "$primary" = x86 ]; then
  build "$work/bench-x86" "$bench" i686-w64-mingw32 all
  [ "$with_x64" = 1 ] && build "$work/bench-x64" "$bench" x86_64-w64-mingw32 minimal
else
  build "$work/bench-x64" "$bench" x86_64-w64-mingw32 all
fi
if [ -n "$before" ]; then
  rm -rf "$work/before-src" && mkdir -p "$work/before-src"
  git -C "$root" archive "$before" | tar -x -C "$work/before-src" || fail "cannot export commit $before"
  build "$work/before-x86" "$work/before-src" i686-w64-mingw32 nuporaku "${program_options[@]}"
  build "$work/before-x64" "$work/before-src" x86_64-w64-mingw32 nuporaku "${program_options[@]}"
fi

# --- Measurements under Wine -----------------------------------------------------------------
export NUPORAKU_WINE_DIR=$work/wine
session=$root/tests/wine/session.sh
stop_session() { "$session" stop >/dev/null 2>&1 || true; }
trap stop_session EXIT
trap 'exit 130' INT TERM

windows_path() { printf 'Z:%s' "${1//\//\\}"; }
args=(--arch "$primary" --minimal "$(windows_path "$work/bench-$primary/minimal.exe")"
  --nuporaku "$(windows_path "$work/$primary/nuporaku.exe")" --rounds "$rounds" --visits "$visits" --fades "$fades")
if [ "$with_x64" = 1 ]; then
  args+=(--minimal-x64 "$(windows_path "$work/bench-x64/minimal.exe")" --nuporaku-x64 "$(windows_path "$work/x64/nuporaku.exe")")
fi

out=$work/measure.out
echo "bench: measuring under Wine ($rounds start-up rounds, $visits visits, $fades fades)..." >&2
status=0
# The deadline covers a first-time Wine prefix (about 30 s) and every run with room to spare;
# measure.exe has deadlines of its own on every wait.
timeout --kill-after=10 420 "$root/tests/wine/wine-run.sh" "$work/bench-$primary/measure.exe" "${args[@]}" >"$out" 2>&1 ||
  status=$?
stop_session
sed -i 's/\r$//' "$out"  # Wine's console writes CR LF
grep '^ERROR' "$out" >&2 || true
if [ "$status" = 124 ] || [ "$status" = 137 ]; then
  fail "measure.exe did not finish within 420 s; its output is in $out"
elif [ "$status" != 0 ]; then
  grep -q '^RESULT' "$out" || { cat "$out" >&2; fail "measure.exe failed (exit code $status) and measured nothing"; }
  echo "bench: measure.exe reported failed runs (exit code $status): figures with too few samples are marked" >&2
fi

# --- The table -------------------------------------------------------------------------------
# field NAME COLUMN: 3 median, 4 lowest, 5 highest, 6 number of samples; empty when missing.
field() { awk -v name="$1" -v column="$2" '$1 == "RESULT" && $2 == name { print $column }' "$out"; }
have() { [ -n "$(field "$1" 3)" ]; }
calc() { awk "BEGIN { printf $1 }"; }
ms() { calc "\"%.0f\", $(field "$1" 3)"; }
ms_spread() { calc "\"%.0f ms (%.0f–%.0f, n=%d)\", $(field "$1" 3), $(field "$1" 4), $(field "$1" 5), $(field "$1" 6)"; }
mib() { calc "\"%.2f MiB\", $1 / 1048576"; }
mib_spread() { calc "\"%.2f MiB (%.2f–%.2f, n=%d)\", $(field "$1" 3) / 1048576, $(field "$1" 4) / 1048576, $(field "$1" 5) / 1048576, $(field "$1" 6)"; }
ratio() { calc "\"%.2f\", $1 / $2"; }
# met VALUE OPERATOR LIMIT
met() { awk -v v="$1" -v l="$3" -v op="$2" 'BEGIN { ok = (op == "<=") ? (v <= l) : (v < l); print ok ? "yes" : "**no**" }'; }
bytes() { printf "%d B = %s KiB" "$1" "$(calc "\"%.2f\", $1 / 1024")"; }
missing="(no samples: see errors above)"

rows=()
row() { rows+=("| $1 | $2 | $3 | $4 | $5 | $6 |"); }

# size_row ARCH GOAL_BYTES: beside it minimal.exe and, with its ratio, the program of $before.
size_row() {
  local arch=$1 goal=$2 size yardstick="—" ratio="—"
  size=$(stat -c %s "$work/$arch/nuporaku.exe")
  [ -f "$work/bench-$arch/minimal.exe" ] && yardstick="minimal.exe: $(bytes "$(stat -c %s "$work/bench-$arch/minimal.exe")")"
  if [ -n "$before" ]; then
    local old
    old=$(stat -c %s "$work/before-$arch/nuporaku.exe")
    yardstick="$yardstick; nuporaku.exe of $before: $(bytes "$old")"
    ratio="$(ratio "$size" "$old") of $before"
  fi
  row "Size of nuporaku.exe, $arch, resources included" "$(bytes "$size")" "$yardstick" "$ratio" \
    "≤ $goal B" "$(met "$size" "<=" "$goal")"
}
size_row x86 14336
size_row x64 15360

for arch in x86 x64; do
  [ "$arch" != "$primary" ] && [ "$with_x64" != 1 ] && continue
  n=latency_ms.nuporaku-$arch m=latency_ms.minimal-$arch
  if have "$n" && have "$m"; then
    r=$(ratio "$(field "$n" 3)" "$(field "$m" 3)")
    goal="≤ $startup_goal" verdict=$(met "$r" "<=" "$startup_goal")
    [ "$arch" != "$primary" ] && goal="(set for $primary)" verdict="—"
    paired=""
    have "latency_pair_ratio.$arch" && paired=" (pairs: $(calc "\"%.2f\", $(field "latency_pair_ratio.$arch" 3)"))"
    row "Start-up, CreateProcess to title box on screen, $arch (median)" "$(ms_spread "$n")" "$(ms_spread "$m")" \
      "$r$paired" "$goal" "$verdict"
    n=startup_cpu_ms.nuporaku-$arch m=startup_cpu_ms.minimal-$arch
    row "CPU time (kernel + user) up to the title box, $arch (median)" "$(ms_spread "$n")" "$(ms_spread "$m")" \
      "$(calc "\"%.2f\", $(field "$n" 3) / ($(field "$m" 3) > 0 ? $(field "$m" 3) : 1)")" "(none)" "—"
  else
    row "Start-up, $arch" "$missing" "" "" "≤ $startup_goal" "**no**"
  fi
done
for arch in x86 x64; do
  [ "$arch" != "$primary" ] && [ "$with_x64" != 1 ] && continue
  n=peak_ws.nuporaku-$arch m=peak_ws.minimal-$arch
  if have "$n" && have "$m"; then
    r=$(ratio "$(field "$n" 3)" "$(field "$m" 3)")
    goal="≤ $startup_goal" verdict=$(met "$r" "<=" "$startup_goal")
    [ "$arch" != "$primary" ] && goal="(set for $primary)" verdict="—"
    row "Peak working set at the title box, $arch (median)" "$(mib_spread "$n")" "$(mib_spread "$m")" "$r" "$goal" "$verdict"
  else
    row "Peak working set at the title box, $arch" "$missing" "" "" "≤ $startup_goal" "**no**"
  fi
done
n=peak_ws_receipt.nuporaku-$primary m=peak_ws.minimal-$primary
if have "$n" && have "$m"; then
  r=$(ratio "$(field "$n" 3)" "$(field "$m" 3)")
  row "Peak working set at the receipt box after a whole accepted visit, $primary (median)" "$(mib_spread "$n")" \
    "$(mib "$(field "$m" 3)") (minimal.exe at its box)" "$r" "≤ 1.25" "$(met "$r" "<=" 1.25)"
else
  row "Peak working set at the receipt box, $primary" "$missing" "" "" "≤ 1.25" "**no**"
fi
n=fade_cpu_share_pct.nuporaku-$primary
if have "$n"; then
  share=$(field "$n" 3)
  row "CPU time (kernel + user) during the fade, share of its duration, $primary (median)" \
    "$(ms fade_cpu_ms.nuporaku-$primary) ms of $(ms fade_ms.nuporaku-$primary) ms" "—" \
    "$(calc "\"%.1f %% (%.1f–%.1f %%, n=%d)\", $share, $(field "$n" 4), $(field "$n" 5), $(field "$n" 6)")" "< 5 %" \
    "$(met "$share" "<" 5)"
  fade_floor=$((fade_ticks * timer_minimum_ms))
  row "Fade duration, fade window on screen to process exit, $primary (median)" "$(ms_spread fade_ms.nuporaku-$primary)" \
    "$fade_ticks ticks × $timer_minimum_ms ms = $fade_floor ms" "$(ratio "$(field fade_ms.nuporaku-$primary 3)" "$fade_floor")" \
    "(beside it)" "—"
else
  row "Fade, $primary" "$missing" "" "" "< 5 %" "**no**"
fi

table=$(
  echo "| Figure | nuporaku.exe | Yardstick | Ratio | Goal | Met |"
  echo "|---|---|---|---|---|---|"
  printf '%s\n' "${rows[@]}"
)

# --- Report ----------------------------------------------------------------------------------
commit=$(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo unknown)
git -C "$root" diff --quiet HEAD -- . ':!bench' 2>/dev/null || commit="$commit, with uncommitted changes outside bench/"
cpu=$(awk -F': *' '/^model name/ { print $2; exit }' /proc/cpuinfo)
wine_version=$(eval "$("$session" env)" && "$NUPORAKU_WINE" --version 2>/dev/null || echo unknown)
failures=$(awk '$1 == "INFO" && $2 == "failures" { print $3 }' "$out")

before_text=""
[ -n "$before" ] && before_text=" Sizes: the program of commit $before (by default the last one before the form
  made room for a menu bar of two rows) is exported and built beside today's in the same run."
report=$(
  cat <<EOF
# nuporaku benchmark

- Date: $(date -u '+%Y-%m-%d %H:%M UTC')
- Machine: $(nproc) cores, ${cpu:-unknown CPU}; $(uname -sr)
- Wine: $wine_version, private Xvfb display and prefix, virtual desktop 1280×1024
- Program: commit $commit; MinSizeRel builds made by bench/run.sh
- Measured: the $primary programs$primary_note
- Runs: $rounds interleaved start-up rounds (after one warm-up run of each program), $visits accepted visits, $fades empty orders; ${failures:-?} failed runs

$table

How the figures are taken (bench/measure.cpp, a Windows program run under Wine):

- Start-up: from just before CreateProcess to the first poll (every 1 ms) that finds a visible
  top-level \`#32770\` window of the process with a 0xFFFF static child, timed with
  QueryPerformanceCounter. Yardstick: bench/minimal.cpp, which calls InitCommonControls and shows
  one MessageBoxW with the title box's text, caption and icon, built the usual way, with the
  MinGW C runtime and its start-up code (-static -municode -mwindows -Os -s); nuporaku.exe has
  neither.$before_text nuporaku.exe and minimal.exe of one architecture run back to back in
  each round, in alternating order; "pairs" is the median of the rounds' own
  ratios, which load that changes slowly sways less. Other work on the machine makes single
  runs vary a lot: compare ratios, not milliseconds between reports.
- CPU time: the sum of the process's threads' kernel + user times (GetThreadTimes), which Wine
  counts in 10 ms clock ticks. Not GetProcessTimes: Wine 8 answers it, for another process,
  with the caller's own times.
- Peak working set: PeakWorkingSetSize from GetProcessMemoryInfo, read as soon as the box is
  found. Under Wine it is the peak resident set of the whole Linux process, Wine's own libraries
  included (about 21 MiB for one message box).
- Receipt: title and greeting confirmed, "2" typed into the first field (EM_SETSEL 0,-1 and
  WM_CHAR), WM_COMMAND 2 posted to the form, the takeout question answered No; read at the
  receipt box and set against minimal.exe's peak at its box.
- Fade: title and greeting confirmed, the form closed (WM_SYSCOMMAND SC_CLOSE), the "冷やかしですか..."
  box confirmed; from the first poll that finds the visible \`NUPORAKU\` window to the process's
  end, CPU time read every 5 ms up to the end. The floor is 255 ticks of the shortest interval
  SetTimer gives (USER_TIMER_MINIMUM, $timer_minimum_ms ms), which Wine keeps to. Windows does
  not: a timer fires only on a tick of the system clock, 15.6 ms by default, so the fade takes
  about 255 × 15.6 ms ≈ 4.0 s there, and 2.55 s only while the clock runs faster for this
  program, which since Windows 10 version 2004 another program's timeBeginPeriod no longer
  brings about (Microsoft's documentation; not measured here).
EOF
)
printf '%s\n' "$report" >"$bench/results.md"
{
  echo
  echo "<details><summary>Raw samples</summary>"
  echo
  echo '```'
  grep '^SAMPLES' "$out" | cut -d' ' -f2-
  echo '```'
  echo
  echo "</details>"
} >>"$bench/results.md"

echo
printf '%s\n' "$table"
echo
echo "Written to $bench/results.md (measure.exe's output: $out)."
[ "$status" = 0 ]
