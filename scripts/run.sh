#!/usr/bin/env bash
# Builds the x86 program and starts it under Wine on your display.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

./scripts/install-deps.sh
cmake --preset x86 >/dev/null
cmake --build --preset x86 --target nuporaku
exec wine build/x86/nuporaku.exe "$@"
