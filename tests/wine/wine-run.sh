#!/usr/bin/env bash
# Runs a Windows program in the tests' private Wine session, starting the session if needed.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
"$here/session.sh" ensure
eval "$("$here/session.sh" env)"
# Wine's helper processes (services, the desktop) outlive the program and inherit its output:
# write it to a file rather than to the caller's pipe, which would then never close.
output=$(mktemp)
trap 'rm -f "$output"' EXIT
status=0 started=$SECONDS
"$NUPORAKU_WINE" "$@" </dev/null >"$output" 2>&1 || status=$?
cat "$output"
[ "$status" = 0 ] || echo "wine-run.sh: $1 ended with status $status after $((SECONDS - started)) s" >&2
exit $status
