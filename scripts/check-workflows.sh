#!/usr/bin/env bash
# Validates every file under .github/workflows/ against GitHub's workflow schema (SchemaStore's,
# as bundled by @action-validator, at the version pinned in tests/workflows/package-lock.json).
# Prints one line per file and exits non-zero if any file fails, or uses an action of a major
# that runs on Node 20. Installs Node.js and npm with apt-get where they are missing, and the
# validator with npm ci into build/workflows/.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
  sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  echo "Installing nodejs and npm..."
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get update -q >/dev/null
  "${sudo[@]}" apt-get install -y -q --no-install-recommends nodejs npm >/dev/null
fi

# Installed again only when the pinned versions changed, so that a second run needs no registry.
dir=build/workflows
validator=$dir/node_modules/.bin/action-validator
if [ ! -x "$validator" ] || ! cmp -s tests/workflows/package-lock.json "$dir/package-lock.json"; then
  mkdir -p "$dir"
  cp tests/workflows/package.json tests/workflows/package-lock.json "$dir/"
  npm ci --prefix "$dir" --no-audit --no-fund --loglevel=error >/dev/null
fi

# The validator prints its errors as JSON. Of the alternatives of a "one of" (a job that runs
# steps, or one that calls a reusable workflow), the one with the fewest errors is the one meant.
# shellcheck disable=SC2016 # the ${...} are JavaScript's
summary='
const leaves = (errors) => errors.flatMap((e) => e.states
  ? leaves(e.states.reduce((a, b) => (b.errors.length < a.errors.length ? b : a)).errors)
  : [`  ${e.path || "/"}: ${e.detail ?? e.title}`]);
const text = require("fs").readFileSync(0, "utf8");
console.log([...new Set(leaves(JSON.parse(text.slice(text.indexOf("{"))).errors))].join("\n"));
'
status=0
shopt -s nullglob
files=(.github/workflows/*.yml .github/workflows/*.yaml)
[ ${#files[@]} -gt 0 ] || { echo "check-workflows.sh: no workflow files under .github/workflows/" >&2; exit 1; }
for f in "${files[@]}"; do
  if out=$("$validator" "$f" 2>&1); then
    echo "$f: valid"
  else
    echo "$f: INVALID"
    node -e "$summary" <<<"$out" 2>/dev/null || sed 's/^/  /' <<<"$out"
    status=1
  fi
done
# GitHub retires Node 20 for actions: each of these on a major that runs on Node 24, at least.
declare -A node24=([actions/checkout]=5 [actions/upload-artifact]=6 [actions/download-artifact]=7)
while read -r f action major; do
  least=${node24[$action]:-0}
  if [ "$major" -lt "$least" ]; then
    echo "$f: $action@v$major runs on Node 20; use v$least or later"
    status=1
  fi
done < <(grep -HoE 'uses: *actions/[a-z-]+@v[0-9]+' "${files[@]}" | sed -E 's/^([^:]+):uses: *([^@]+)@v([0-9]+)$/\1 \2 \3/')
exit $status
