#!/usr/bin/env bash
# Plays every screen of a visit of the real program under Wine on a private virtual display and
# saves pictures of them as PNG files. The x86 program where this machine runs 32-bit programs
# under Wine, else the x64 one.
#   scripts/screenshots.sh          new reference pictures for the picture test, the set of this
#                                   machine's release (tests/e2e/pictures/debian-13/, say, with
#                                   what they were made with), and the README's pictures in
#                                   docs/, always made from the Debian 12 set
#   scripts/screenshots.sh FOLDER   every screen into FOLDER only
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root=$PWD
set_name=$(. /etc/os-release && echo "$ID-$VERSION_ID")
out=${1:-tests/e2e/pictures/$set_name}
out=$(mkdir -p "$out" && cd "$out" && pwd)

./scripts/install-deps.sh
arch=$(tests/wine/session.sh arch)
cmake --preset "$arch" >/dev/null
cmake --build --preset "$arch" --target nuporaku nuporaku_e2e_tests >/dev/null

shots=build/$arch/tests/pictures
log=$(mktemp) made=$(mktemp --suffix=.png)
trap 'rm -f "$log" "$made"; "$root/tests/wine/session.sh" stop' EXIT
rm -f "$shots"/*.bmp
NUPORAKU_PICTURES_RECORD=1 tests/wine/wine-run.sh "build/$arch/tests/nuporaku_e2e_tests.exe" \
  --gtest_filter='Screens/Picture.*' >"$log" 2>&1 || {
  cat "$log" >&2
  exit 1
}
# No time stamps in the files: a picture made again of the same screen is the same file.
png=(-define png:exclude-chunks=date,time)
for shot in "$shots"/*.bmp; do
  convert "$shot" "${png[@]}" "$out/$(basename "$shot" .bmp).png"
done
echo "Pictures of every screen ($arch program): $out/"
[ $# -eq 0 ] || exit 0

eval "$(tests/wine/session.sh env)"
echo "$NUPORAKU_PICTURE_SETUP" >"$out/made-with.txt"
# The README's, from the Debian 12 set whatever this machine is: only the window itself, the
# desktop around it trimmed away but for a margin.
# Another ImageMagick writes the same pixels into other bytes: a picture is replaced only where
# its pixels differ.
docs_set=tests/e2e/pictures/debian-12
keep() {
  [ "$(compare -metric AE "$made" "$1" null: 2>&1)" = 0 ] || cp "$made" "$1"
}
for pair in greeting:greeting order-form:order_form_filled receipt:receipt_take_out; do
  convert "$docs_set/${pair#*:}.png" -trim +repage -bordercolor "$(convert "$docs_set/${pair#*:}.png" -format '%[pixel:p{0,0}]' info:)" \
    -border 16 "${png[@]}" "$made"
  keep "docs/${pair%%:*}.png"
done
convert "$docs_set/fade_out.png" -resize 50% "${png[@]}" "$made"
keep docs/fade-out.png
echo "Reference pictures and what they were made with: $out/; the README's pictures: docs/"
echo "Look at the new pictures (git diff --stat, your image viewer); commit them to accept the new look."
