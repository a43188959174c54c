#!/usr/bin/env bash
# Builds the program and starts it under Wine on your display. Without a display, plays a short
# scripted visit on a private virtual display and saves screenshots of it instead.
# The x86 program where this machine runs 32-bit programs under Wine, else the x64 one.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

./scripts/install-deps.sh
if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
  echo "No display to show the program on: playing a scripted visit on a virtual display instead."
  exec ./scripts/screenshots.sh build/screenshots
fi
arch=$(tests/wine/session.sh arch)
cmake --preset "$arch" >/dev/null
cmake --build --preset "$arch" --target nuporaku
# A prefix of its own, set up like the tests' (fonts, caption buttons), shown on this display.
export NUPORAKU_WINE_DIR=$PWD/build/wine-run
tests/wine/session.sh prepare
eval "$(tests/wine/session.sh env)"
exec "$NUPORAKU_WINE" "build/$arch/nuporaku.exe" "$@"
