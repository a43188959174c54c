#!/usr/bin/env bash
# A private Wine session for the tests: an Xvfb display and a WINEPREFIX of our own.
#   session.sh ensure      start the display and the prefix's server unless they already run
#   session.sh prepare     make the prefix only, for a program shown on the caller's own display
#   session.sh stop        stop exactly what ensure started (by process id, and the prefix's server)
#   session.sh env         print the variables that put a command into the session; run programs
#                          with "$NUPORAKU_WINE" rather than wine
#   session.sh can-run x86 exit 0 if this machine runs x86 programs under Wine; otherwise print
#                          why not and how to get it, and exit 1
#   session.sh arch        print the build to run here: x86 (the primary one), or else x64,
#                          saying why on standard error
#   session.sh speed       start the session, and print how long a small Wine program takes
#                          here, in ms (the shortest of three runs of cmd.exe /c exit)
#   session.sh run SECONDS OUTPUT PROGRAM [ARGUMENT...]
#                          start the session if needed and run PROGRAM with Wine there, its output
#                          into the file OUTPUT; its exit status. A program that has not ended
#                          after SECONDS (longer by NUPORAKU_DEADLINE_FACTOR, at most 5 minutes) is
#                          stopped with the whole session, which the next run makes anew, and the
#                          status is 124, saying so: the tests after it still run
#   session.sh scale MS COMMAND...
#                          run COMMAND with NUPORAKU_DEADLINE_FACTOR set to how many times
#                          longer than MS (a faster machine's speed) that takes here, at least
#                          1: the test programs' deadlines and CTest's time limits grow by it
# The prefix is initialised once and reused; the state lives in NUPORAKU_WINE_DIR
# (default: build/wine beside the sources).
#
# Wine runs 32-bit Windows programs through its 32-bit loader, and Debian's wine wrapper uses
# that loader for every program, 64-bit ones included. A kernel without IA-32 emulation cannot
# start it ("Exec format error"): then every Wine command of the session goes through the 64-bit
# loader, which runs x64 programs only, in a 64-bit prefix of its own. NUPORAKU_WINE64_ONLY=1
# chooses that mode on a machine that could run 32-bit programs, to try it there.
set -euo pipefail
# No silent stop: a caller (CTest, a test program's run) shows this output and nothing else.
trap 'echo "Wine session: \"$BASH_COMMAND\" failed (status $?)" >&2' ERR

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
state=${NUPORAKU_WINE_DIR:-$here/../../build/wine}
mkdir -p "$state"
state=$(cd "$state" && pwd)
loader32=/usr/lib/wine/wine
loader64=/usr/lib/wine/wine64
screen=1280x1024x24

fail() {
  echo "Wine session: $*" >&2
  exit 1
}

# Tried, not guessed: the kernel either starts the 32-bit loader or refuses it.
runs_x86() {
  [ "${NUPORAKU_WINE64_ONLY:-0}" != 1 ] && "$loader32" --version >/dev/null 2>&1
}

# Why x86 programs cannot run here, and how to get them run.
x86_missing_reason() {
  local error
  if [ "${NUPORAKU_WINE64_ONLY:-0}" = 1 ]; then
    echo "NUPORAKU_WINE64_ONLY=1 asks for Wine's 64-bit loader only; unset it to run them."
  elif [ ! -x "$loader32" ] && [ -f "$here/../../build/wine32-missing.txt" ]; then
    cat "$here/../../build/wine32-missing.txt"  # why scripts/install-deps.sh could not install it
  elif [ ! -x "$loader32" ]; then
    echo "Wine's 32-bit loader $loader32 is not installed (package wine32:i386); scripts/install-deps.sh installs it."
  else
    error=$("$loader32" --version 2>&1 | tail -n 1) || true
    echo "this machine's kernel cannot start 32-bit programs ($loader32: ${error##*: });" \
      "boot Linux with ia32_emulation=on, or run on a machine that has it."
  fi
}

if runs_x86; then
  prefix=$state/prefix      # 64-bit with its 32-bit side (WoW64)
  wine=wine                 # Debian's wrapper: the 32-bit loader, which starts wine64 for x64 programs
else
  prefix=$state/prefix-x64  # 64-bit only: never the other mode's prefix, which has a 32-bit side
  wine=$loader64
fi

session_env() {
  echo "export WINEPREFIX='$prefix'"
  echo "export NUPORAKU_WINE='$wine'"
  [ "$wine" = "$loader64" ] && echo "export WINELOADER='$loader64' WINEARCH=win64"
  echo "export WINEDEBUG=-all"
  # No Mono or Gecko installer prompts, no desktop menu entries.
  echo "export WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d'"
  [ -f "$state/display" ] && echo "export DISPLAY=:$(cat "$state/display")"
  [ -f "$state/picture-setup" ] && echo "export NUPORAKU_PICTURE_SETUP='$(cat "$state/picture-setup")'"
  return 0
}

alive() { [ -f "$1" ] && kill -0 "$(cat "$1")" 2>/dev/null; }

check_tools() {
  command -v wineserver >/dev/null && { [ -x "$loader32" ] || [ -x "$loader64" ]; } ||
    fail "Wine is not installed; scripts/install-deps.sh installs it (packages wine, wine64, wine32:i386)."
  "$wine" --version >/dev/null 2>&1 ||
    fail "Wine's loader $wine cannot start: $("$wine" --version 2>&1 | tail -n 1). Reinstall the package wine64."
}

start_display() {
  alive "$state/xvfb.pid" && return 0
  command -v Xvfb >/dev/null || fail "Xvfb is not installed; scripts/install-deps.sh installs it (package xvfb)."
  # -displayfd picks a free display number and writes it once the server is ready.
  rm -f "$state/display"
  Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp 3>"$state/display" >"$state/xvfb.log" 2>&1 9>&- &
  echo $! >"$state/xvfb.pid"
  for _ in $(seq 100); do
    [ -s "$state/display" ] && return 0
    alive "$state/xvfb.pid" || break
    sleep 0.1
  done
  stop_session
  fail "Xvfb did not start; its output: $(tail -n 3 "$state/xvfb.log" 2>/dev/null)"
}

# Stops the servers of both modes' prefixes, in case the mode changed since one was started.
# What the screens look like depends on these: the picture test compares only where they are
# the ones its references were made with. Asked once a session, not for every program run.
note_picture_setup() {
  [ -f "$state/picture-setup" ] && return 0
  echo "$("$wine" --version 2>/dev/null), $(dpkg-query -W -f='${Package} ${Version}, ' fonts-horai-umefont fonts-wine \
    2>/dev/null)Xvfb $screen" >"$state/picture-setup"
}

stop_session() {
  local each
  for each in "$state/prefix" "$state/prefix-x64"; do
    [ -d "$each" ] && WINEPREFIX=$each timeout 10 wineserver -k 2>/dev/null || true
  done
  # A server that did not answer (seen under Wine 10: wineserver in a busy loop, every Wine
  # process waiting on it) is ended by its process id, and with it its processes' connections.
  alive "$state/wineserver.pid" && kill -KILL "$(cat "$state/wineserver.pid")"
  rm -f "$state/wineserver.pid"
  alive "$state/xvfb.pid" && kill "$(cat "$state/xvfb.pid")"
  rm -f "$state/xvfb.pid" "$state/display" "$state/picture-setup"
}

# Bumped whenever init_prefix changes, so that an older prefix is made anew.
prefix_setup=4

# A LOGFONTW as a .reg file writes it: HEIGHT WEIGHT FACE, Shift-JIS, variable pitch.
logfont() {
  python3 -c 'import struct, sys
height, weight, face = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
fields = struct.pack("<5l8B", height, 0, 0, 0, weight, 0, 0, 0, 128, 0, 0, 0, 0x22)
print("hex:" + ",".join("%02x" % b for b in fields + face.encode("utf-16-le").ljust(64, b"\0")))' "$@"
}

# The prefix's settings, as one .reg file: one Wine process imports them all (a dozen short
# commands, each starting a wineserver that exits as the next one connects, were a race).
# Every program runs inside a virtual desktop: it draws captions, maximises windows to its size,
# and closing a window costs no window-manager wait. Crashes end the process at once instead of
# opening a crash dialog.
# Japanese text in the fonts of a Japanese Windows: "MS UI Gothic" 9 pt for the form, the
# boxes, captions and menus. Ume UI Gothic shares its metrics, so the form's labels fit their
# widths as on Windows (IPAPGothic, wider in kana, cut 8 of 12). Wine's own non-client fonts
# are "MS Shell Dlg" 8 pt, which resolves to Tahoma: map those names too, and set the message,
# caption and menu fonts to 9 pt "MS UI Gothic" (caption bold) as Japanese Windows XP has them.
# The caret does not blink ("-1": shown steadily, measured here), so that a picture of the
# screen does not depend on its moment.
prefix_settings() {
  cat <<EOF
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\Explorer]
"Desktop"="Default"

[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]
"Default"="1280x1024"

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"MS UI Gothic"="Ume UI Gothic"
"MS Shell Dlg"="Ume UI Gothic"
"MS Shell Dlg 2"="Ume UI Gothic"
"Tahoma"="Ume UI Gothic"
"MS PGothic"="Ume P Gothic"
"MS Gothic"="Ume Gothic"

[HKEY_CURRENT_USER\Control Panel\Desktop]
"CursorBlinkRate"="-1"

[HKEY_CURRENT_USER\Control Panel\Desktop\WindowMetrics]
"MessageFont"=$(logfont -12 400 'MS UI Gothic')
"CaptionFont"=$(logfont -12 700 'MS UI Gothic')
"MenuFont"=$(logfont -12 400 'MS UI Gothic')
EOF
}

make_prefix() {
  local settings=$state/prefix.reg
  prefix_settings >"$settings"
  "$wine" wineboot --init >>"$state/prefix.log" 2>&1 9>&- && wineserver -w &&
    "$wine" regedit /S "Z:${settings//\//\\}" >>"$state/prefix.log" 2>&1 9>&- && wineserver -w || return 1
  # Caption buttons are Marlett's symbols. Debian's Wine does not find its own font folder,
  # which has it; a prefix's Fonts folder is always searched.
  cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
}

init_prefix() {
  [ "$(cat "$prefix/.nuporaku-ready" 2>/dev/null)" = "$prefix_setup" ] && return 0
  check_tools
  wineserver -k 2>/dev/null || true
  rm -rf "$prefix"
  echo "Preparing the Wine prefix $prefix (once)..." >&2
  : >"$state/prefix.log"
  if ! make_prefix; then
    stop_session
    fail "could not make the prefix $prefix with $wine. Wine's last words ($state/prefix.log):
$(tail -n 5 "$state/prefix.log")"
  fi
  echo "$prefix_setup" >"$prefix/.nuporaku-ready"
}

# The shortest of three runs of a small Wine program in the running session, in ms: starting a
# process and loading DLLs, as every visit of the tests does.
speed() {
  local best= took started _
  for _ in 1 2 3; do
    started=$(date +%s%N)
    "$wine" cmd.exe /c exit </dev/null >/dev/null 2>&1 9>&- || fail "Wine could not run cmd.exe in $prefix."
    took=$((($(date +%s%N) - started) / 1000000))
    [ -n "$best" ] && [ "$best" -le "$took" ] || best=$took
  done
  echo "$best"
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
    note_picture_setup
    eval "$(session_env)"
    init_prefix
    # Keep the prefix's server and Wine's own services running between test programs, with
    # their output away from any caller's pipe; stop ends them.
    if ! wineserver -k0 2>/dev/null; then
      # In the foreground of a background job, so that its process id is known (stop).
      wineserver -f -p </dev/null >/dev/null 2>&1 9>&- &
      echo $! >"$state/wineserver.pid"
      for _ in $(seq 50); do wineserver -k0 2>/dev/null && break; sleep 0.1; done
      "$wine" cmd.exe /c exit </dev/null >/dev/null 2>&1 9>&- || {
        stop_session
        fail "Wine could not start a program in $prefix; remove that folder to have it made anew."
      }
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
    stop_session
    ;;
  env)
    session_env
    ;;
  can-run)
    [ "${2:-}" = x86 ] || { echo "usage: $0 can-run x86" >&2; exit 2; }
    runs_x86 || { echo "x86 programs cannot run under Wine here: $(x86_missing_reason)"; exit 1; }
    ;;
  speed)
    "$0" ensure
    eval "$(session_env)"
    speed
    ;;
  run)
    [[ ${2:-} =~ ^[1-9][0-9]*$ ]] && [ $# -ge 4 ] || { echo "usage: $0 run SECONDS OUTPUT PROGRAM [ARGUMENT...]" >&2; exit 2; }
    limit=$2 output=$3
    shift 3
    [[ ${NUPORAKU_DEADLINE_FACTOR:-} =~ ^([0-9]+) ]] && limit=$((limit * (BASH_REMATCH[1] + 1)))
    [ "$limit" -le 300 ] || limit=300
    "$0" ensure
    eval "$(session_env)"
    # Into a file, not the caller's pipe: Wine's helper processes (services, the desktop) outlive
    # the program and hold what it inherited, so a pipe would never close.
    status=0
    timeout -k 5 "$limit" "$wine" "$@" </dev/null >"$output" 2>&1 9>&- || status=$?
    if [ $status = 124 ] || [ $status = 137 ]; then
      # What was seen when a program never ended: under Wine 10, the server in a busy loop and
      # every Wine process waiting on it. Its successors get a new session, not a stuck one.
      echo "Wine session: $1 had not ended after $limit s; stopping it and the session (the next program gets a new one)" >>"$output"
      "$0" stop
      status=124
    fi
    exit $status
    ;;
  scale)
    [[ ${2:-} =~ ^[1-9][0-9]*$ ]] && [ $# -ge 3 ] || { echo "usage: $0 scale MS COMMAND..." >&2; exit 2; }
    here_ms=$("$0" speed)
    factor=$(awk -v here="$here_ms" -v there="$2" 'BEGIN { f = here / there; printf "%.1f", f < 1 ? 1 : f }')
    echo "Wine is $factor times as slow here ($here_ms ms for cmd.exe /c exit, $2 ms on the machine measured first):" \
      "deadlines and time limits are $factor times as long."
    shift 2
    NUPORAKU_DEADLINE_FACTOR=$factor exec "$@"
    ;;
  arch)
    if runs_x86; then
      echo x86
    else
      echo "Running the x64 program, not the x86 one: $(x86_missing_reason)" >&2
      echo x64
    fi
    ;;
  *)
    echo "usage: $0 ensure|prepare|stop|env|can-run x86|arch|speed|run SECONDS OUTPUT PROGRAM...|scale MS COMMAND..." >&2
    exit 2
    ;;
esac
