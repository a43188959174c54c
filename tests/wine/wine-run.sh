#!/usr/bin/env bash
# Runs a Windows program in the tests' private Wine session, starting the session if needed.
# A program that has not ended after 60 s (longer by NUPORAKU_DEADLINE_FACTOR, and short of
# CTest's own limit) is stopped with the session and run once more, in a new one, saying so:
# under Wine 10 its server was seen in a busy loop now and then, every Wine process waiting on
# it for good (and every test after it running out of time). A second such run fails.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
limit=60
[[ ${NUPORAKU_DEADLINE_FACTOR:-} =~ ^([0-9]+) ]] && limit=$((limit * (BASH_REMATCH[1] + 1)))
# Wine's helper processes (services, the desktop) outlive the program and inherit its output:
# write it to a file rather than to the caller's pipe, which would then never close.
output=$(mktemp)
trap 'rm -f "$output"' EXIT
for attempt in 1 2; do
  "$here/session.sh" ensure
  eval "$("$here/session.sh" env)"
  status=0 started=$SECONDS
  timeout -k 5 "$limit" "$NUPORAKU_WINE" "$@" </dev/null >"$output" 2>&1 || status=$?
  cat "$output"
  [ "$status" = 124 ] && [ $attempt = 1 ] || break
  echo "wine-run.sh: $1 had not ended after $limit s; making the Wine session anew and running it once more" >&2
  "$here/session.sh" stop
done
[ "$status" = 0 ] || echo "wine-run.sh: $1 ended with status $status after $((SECONDS - started)) s" >&2
exit $status
