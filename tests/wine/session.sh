#!/usr/bin/env bash
# A private Wine session for the tests: an Xvfb display and a WINEPREFIX of our own.
#   session.sh ensure   start the display and the prefix's server unless they already run
#   session.sh stop     stop exactly what ensure started (by process id, and the prefix's server)
#   session.sh env      print the variables that put a command into the session
# The prefix is initialised once and reused; the state lives in NUPORAKU_WINE_DIR
# (default: build/wine beside the sources).
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
state=${NUPORAKU_WINE_DIR:-$here/../../build/wine}
mkdir -p "$state"
state=$(cd "$state" && pwd)
prefix=$state/prefix

session_env() {
  echo "export WINEPREFIX='$prefix'"
  echo "export WINEDEBUG=-all"
  # No Mono or Gecko installer prompts, no desktop menu entries.
  echo "export WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d'"
  [ -f "$state/display" ] && echo "export DISPLAY=:$(cat "$state/display")"
  return 0
}

alive() { [ -f "$1" ] && kill -0 "$(cat "$1")" 2>/dev/null; }

start_display() {
  alive "$state/xvfb.pid" && return 0
  # -displayfd picks a free display number and writes it once the server is ready.
  rm -f "$state/display"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$state/display" >"$state/xvfb.log" 2>&1 9>&- &
  echo $! >"$state/xvfb.pid"
  for _ in $(seq 100); do
    [ -s "$state/display" ] && return 0
    sleep 0.1
  done
  echo "Xvfb did not start; see $state/xvfb.log" >&2
  return 1
}

init_prefix() {
  [ -f "$prefix/.nuporaku-ready" ] && return 0
  rm -rf "$prefix"
  echo "Preparing the Wine prefix $prefix (once)..." >&2
  wineboot --init >/dev/null 2>&1 9>&-
  wineserver -w
  # Every program runs inside a virtual desktop: it draws captions, maximises windows to its
  # size, and closing a window costs no window-manager wait. Crashes end the process at once
  # instead of opening a crash dialog. Japanese text needs a font with the glyphs.
  wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1 9>&-
  wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1280x1024 /f >/dev/null 2>&1 9>&-
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1 9>&-
  for font in 'MS UI Gothic' 'MS Gothic' 'MS PGothic' 'Tahoma' 'MS Shell Dlg' 'MS Shell Dlg 2'; do
    wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$font" /d IPAPGothic /f >/dev/null 2>&1 9>&-
  done
  wineserver -w
  touch "$prefix/.nuporaku-ready"
}

# Serialises concurrent callers. Everything started while it is held must not inherit it
# (9>&-), or a long-lived Wine process would keep the lock forever.
lock() {
  exec 9>"$state/lock"
  flock 9
}

case "${1:-}" in
  ensure)
    lock
    start_display
    eval "$(session_env)"
    init_prefix
    # Keep the prefix's server and Wine's own services running between test programs, with
    # their output away from any caller's pipe; stop ends them.
    if ! wineserver -k0 2>/dev/null; then
      wineserver -p </dev/null >/dev/null 2>&1 9>&-
      wine cmd.exe /c exit </dev/null >/dev/null 2>&1 9>&-
    fi
    ;;
  stop)
    lock
    eval "$(session_env)"
    [ -d "$prefix" ] && WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
    if alive "$state/xvfb.pid"; then
      kill "$(cat "$state/xvfb.pid")"
    fi
    rm -f "$state/xvfb.pid" "$state/display"
    ;;
  env)
    session_env
    ;;
  *)
    echo "usage: $0 ensure|stop|env" >&2
    exit 2
    ;;
esac
