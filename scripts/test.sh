#!/usr/bin/env bash
# Builds everything and runs every test: the portable rules natively (ASan/UBSan, fuzzing),
# then the x86 and x64 programs and their tests under a private Wine session.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

./scripts/install-deps.sh

status=0
for preset in host x86 x64; do
  echo "=== $preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done
for preset in host x86 x64; do
  echo "=== $preset: tests"
  ctest --preset "$preset" -j2 || status=1
done
exit $status
