#!/usr/bin/env bash
# Plays a short scripted visit of the real program under Wine on a private virtual display
# and saves pictures of it as PNG files: the greeting, the order form, a receipt and the
# green fade-out window. Usage: scripts/screenshots.sh [FOLDER] (default: docs/)
# The x86 program where this machine runs 32-bit programs under Wine, else the x64 one.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root=$PWD
out=$(mkdir -p "${1:-docs}" && cd "${1:-docs}" && pwd)

./scripts/install-deps.sh
arch=$(tests/wine/session.sh arch)
cmake --preset "$arch" >/dev/null
cmake --build --preset "$arch" --target nuporaku nuporaku_e2e_tests >/dev/null

shots=$(mktemp -d)
trap 'rm -rf "$shots"; "$root/tests/wine/session.sh" stop' EXIT
NUPORAKU_SCREENSHOTS="Z:${shots//\//\\}" tests/wine/wine-run.sh "build/$arch/tests/nuporaku_e2e_tests.exe" \
  --gtest_also_run_disabled_tests --gtest_filter='Screenshots.*' >"$shots/log.txt" 2>&1 || {
  cat "$shots/log.txt" >&2
  exit 1
}
for shot in greeting order-form receipt; do
  # Only the window itself: the desktop around it is trimmed away, a margin of it kept.
  convert "$shots/$shot.bmp" -trim +repage -bordercolor "$(convert "$shots/$shot.bmp" -format '%[pixel:p{0,0}]' info:)" \
    -border 16 "$out/$shot.png"
done
convert "$shots/fade-out.bmp" -resize 50% "$out/fade-out.png"
echo "Screenshots of a visit ($arch program): $out/{greeting,order-form,receipt,fade-out}.png"
