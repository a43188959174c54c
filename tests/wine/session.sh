#!/usr/bin/env bash
# A private Wine session for the tests: an Xvfb display and a WINEPREFIX of our own.
#   session.sh ensure   start the display and the prefix's server unless they already run
#   session.sh prepare  make the prefix only, for a program shown on the caller's own display
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

# Bumped whenever init_prefix changes, so that an older prefix is made anew.
prefix_setup=2

# A LOGFONTW as the registry keeps it, in hex: HEIGHT WEIGHT FACE, Shift-JIS, variable pitch.
logfont() {
  python3 -c 'import struct, sys
height, weight, face = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
fields = struct.pack("<5l8B", height, 0, 0, 0, weight, 0, 0, 0, 128, 0, 0, 0, 0x22)
print((fields + face.encode("utf-16-le").ljust(64, b"\0")).hex())' "$@"
}

# Japanese text in the fonts of a Japanese Windows: "MS UI Gothic" 9 pt for the form, the
# boxes, captions and menus. Ume UI Gothic shares its metrics, so the form's labels fit their
# widths as on Windows (IPAPGothic, wider in kana, cut 8 of 12). Wine's own non-client fonts
# are "MS Shell Dlg" 8 pt, which resolves to Tahoma: map those names too, and set the message,
# caption and menu fonts to 9 pt "MS UI Gothic" (caption bold) as Japanese Windows XP has them.
setup_fonts() {
  local font replacements='HKCU\Software\Wine\Fonts\Replacements' metrics='HKCU\Control Panel\Desktop\WindowMetrics'
  for font in 'MS UI Gothic' 'MS Shell Dlg' 'MS Shell Dlg 2' 'Tahoma'; do
    wine reg add "$replacements" /v "$font" /d 'Ume UI Gothic' /f >/dev/null 2>&1 9>&-
  done
  wine reg add "$replacements" /v 'MS PGothic' /d 'Ume P Gothic' /f >/dev/null 2>&1 9>&-
  wine reg add "$replacements" /v 'MS Gothic' /d 'Ume Gothic' /f >/dev/null 2>&1 9>&-
  for font in MessageFont:400 CaptionFont:700 MenuFont:400; do
    wine reg add "$metrics" /v "${font%:*}" /t REG_BINARY /d "$(logfont -12 "${font#*:}" 'MS UI Gothic')" /f \
      >/dev/null 2>&1 9>&-
  done
  # Caption buttons are Marlett's symbols. Debian's Wine does not find its own font folder,
  # which has it; a prefix's Fonts folder is always searched.
  cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
}

init_prefix() {
  [ "$(cat "$prefix/.nuporaku-ready" 2>/dev/null)" = "$prefix_setup" ] && return 0
  wineserver -k 2>/dev/null || true
  rm -rf "$prefix"
  echo "Preparing the Wine prefix $prefix (once)..." >&2
  wineboot --init >/dev/null 2>&1 9>&-
  wineserver -w
  # Every program runs inside a virtual desktop: it draws captions, maximises windows to its
  # size, and closing a window costs no window-manager wait. Crashes end the process at once
  # instead of opening a crash dialog.
  wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1 9>&-
  wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1280x1024 /f >/dev/null 2>&1 9>&-
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1 9>&-
  setup_fonts
  wineserver -w
  echo "$prefix_setup" >"$prefix/.nuporaku-ready"
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
  prepare)
    lock
    eval "$(session_env)"
    init_prefix
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
    echo "usage: $0 ensure|prepare|stop|env" >&2
    exit 2
    ;;
esac
