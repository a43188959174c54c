#!/usr/bin/env bash
# Runs a Windows program in the tests' private Wine session, starting the session if needed,
# with its output and exit status. One that has not ended after 60 s (longer on a slower
# machine, at most 5 minutes) fails, and the session is made anew for the next: see
# session.sh run.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
output=$(mktemp)
trap 'rm -f "$output"' EXIT
status=0 started=$SECONDS
"$here/session.sh" run 60 "$output" "$@" || status=$?
cat "$output"
[ "$status" = 0 ] || echo "wine-run.sh: $1 ended with status $status after $((SECONDS - started)) s" >&2
exit $status
