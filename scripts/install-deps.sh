#!/usr/bin/env bash
# Installs, with apt-get, what building and testing nuporaku needs on Debian 12 or 13.
# Only missing packages are installed; a machine that has them all is left untouched.
# A package mirror that is mid-sync is survived where it can be: a package list that fails to
# download is tried once more and then done without; an install whose dependencies do not fit is
# tried again with the release's own versions (consistent across architectures, where updates
# may have reached amd64 before i386); and where Wine's 32-bit side still cannot be installed,
# everything else is, and the x86 programs' run-time tests are skipped, saying why
# (build/wine32-missing.txt). Anything else that cannot be installed ends the script at once.
# apt's own output goes to a log, quoted only where it fails; as a first install takes minutes,
# a line every 5 seconds says how far it is instead, and a last one what it installed, in how long.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

i386_side=wine32:i386
packages=(
  cmake ninja-build python3 python3-pefile
  g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  googletest libgtest-dev clang libclang-rt-dev libz-mingw-w64-dev
  wine wine64 "$i386_side"
  xvfb xauth x11-utils imagemagick fonts-horai-umefont fonts-wine
)
i386_note=build/wine32-missing.txt

# Whether this machine's kernel starts 32-bit x86 programs, asked before Wine is installed, with a
# program of 96 bytes (an ELF header, one program header, and exit(42) through int 0x80): a kernel
# without IA-32 emulation refuses it ("Exec format error"). Asked, not guessed: the kernel's
# configuration and boot options are not always to be read, and Wine's own loader may not be
# installed yet.
kernel_runs_x86() {
  local probe status=0
  mkdir -p build
  probe=$(mktemp build/ia32-probe.XXXXXX)
  printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00%b%b%b' \
    '\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00' \
    '\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00' \
    '\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80' >"$probe"
  chmod +x "$probe"
  "$probe" 2>/dev/null || status=$?
  rm -f "$probe"
  [ $status -eq 42 ]
}
# Where it does not, scripts/in-vm.sh runs the x86 tests in a virtual machine with Debian's own
# kernel: QEMU, and mke2fs for its disk. Not in that machine itself (its root, marked so, is set
# up in a chroot on this kernel, but boots a kernel that runs 32-bit programs).
if [ ! -e /etc/nuporaku-vm-guest ] && ! kernel_runs_x86; then
  packages+=(qemu-system-x86 e2fsprogs)
fi

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)

installed() { [[ $(dpkg-query -W -f='${Status}' "$1" 2>/dev/null) == *"ok installed" ]]; }

missing=()
for p in "${packages[@]}"; do
  installed "$p" || missing+=("$p")
done
installed "$i386_side" && rm -f "$i386_note"
[ ${#missing[@]} -eq 0 ] && exit 0

fail() {
  echo "install-deps.sh: $*" >&2
  exit 1
}

echo "Installing: ${missing[*]}"
started=$SECONDS next_line=$((SECONDS + 5))
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${sudo[@]}" dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
log=$(mktemp)
trap 'rm -f "$log"' EXIT

# apt's own words on what went wrong, in one line: its errors, or the first unmet dependency.
apt_reason() {
  local words
  words=$(grep -m 1 -E '^ *[^ ]+ : Depends: ' "$log" | sed -E 's/^ +//; s/ +/ /g') ||
    words=$(grep -E '^E: ' "$log" | grep -v 'Unable to correct problems' | head -n 1 | sed 's/^E: //') ||
    words=$(tail -n 1 "$log")
  echo "${words:0:200}"
}

duration() {
  if [ "$1" -ge 60 ]; then echo "$(($1 / 60)) min $(($1 % 60)) s"; else echo "$1 s"; fi
}
# From apt's log of the last install: how many packages it adds, and how much it downloads.
package_count() {
  grep -m 1 -oE '^[0-9]+ upgraded, [0-9]+ newly installed' "$log" | awk '{ print $1 + $3 }' || true
}
download_size() {
  grep -m 1 -oE 'Need to get [^ ]+ [kMG]?B' "$log" | sed 's/^Need to get //' || true
}
# e.g. "349 packages, 560 MB downloaded, in 1 min 49 s", or only the time where none were added.
summary() {
  local count size
  count=$(package_count) size=$(download_size)
  case $count in '') ;; 1) count="1 package" ;; *) count="$count packages" ;; esac
  echo "${count:+$count, ${size:-nothing} downloaded, }in $(duration $((SECONDS - started)))"
}

# Runs apt-get ARGUMENTS with its output in $log and, every 5 seconds (counted across calls), a
# line on how far it is, from its status lines (APT::Status-Fd). Those come through a pipe that
# ends with apt's exit status, so that reading ends with apt even if something apt started
# holds the pipe open.
apt_get() {
  local what=$1 line state="" unpacked=0 set_up=0 so_far size count
  shift
  while :; do
    if IFS= read -r -t 1 line; then
      case $line in
        exit:*) return "${line#exit:}" ;;
        dlstatus:* | pmstatus:*) state=$line ;;&
        pmstatus:*:Unpacking\ *) unpacked=$((unpacked + 1)) ;;
        pmstatus:*:Installed\ *) set_up=$((set_up + 1)) ;;
      esac
    elif [ $? -le 128 ]; then
      return 1  # the pipe ended without apt's exit status
    fi
    [ $SECONDS -ge $next_line ] || continue
    next_line=$((SECONDS + 5))
    so_far="$(duration $((SECONDS - started))) so far"
    # dlstatus:ITEM:PERCENT:Retrieving file 12 of 28   pmstatus:PACKAGE:PERCENT:Unpacking PACKAGE
    # The log's totals may be missing at first: apt writes its log in blocks.
    [[ $state =~ ^dlstatus:[0-9]+:([0-9]+)[^:]*:.*file\ ([0-9]+\ of\ [0-9]+) ]] || true
    case $state in
      dlstatus:*) if [ "$what" = installing ]; then
          size=$(download_size)
          echo "  downloading: file ${BASH_REMATCH[2]}, ${BASH_REMATCH[1]}%${size:+ of $size}, $so_far"
        else
          echo "  $what: file ${BASH_REMATCH[2]}, $so_far"
        fi ;;
      pmstatus:*) count=$(package_count)
        echo "  unpacking and setting up: $unpacked of ${count:-?} packages unpacked, $set_up set up, $so_far" ;;
      *) echo "  $what, $so_far" ;;
    esac
  done < <(
    # apt's words in English, which this script reads.
    if "${sudo[@]}" sh -c 'DEBIAN_FRONTEND=noninteractive LC_ALL=C.UTF-8 exec "$@" 3>&1 >&2' sh \
      apt-get -o APT::Status-Fd=3 "$@" 2>"$log"; then
      echo "exit:0"
    else
      echo "exit:$?"
    fi
  )
}

if ! apt_get "updating package lists" update -q; then
  echo "apt-get update failed ($(apt_reason)); trying once more."
  apt_get "updating package lists" update -q ||
    echo "Some package lists could not be downloaded ($(apt_reason)); going on with the lists there are."
fi

# A package apt does not know at all cannot be had by trying again. (One apt-cache call for
# all: one for each takes seconds, with no line printed meanwhile.)
candidates=$(LC_ALL=C.UTF-8 apt-cache policy "${missing[@]}" 2>/dev/null |
  awk '/^[^ ]/ { name = $0; sub(/:$/, "", name) } /^  Candidate: [^(]/ { print name }')
unknown=() i386_reason=
for p in "${missing[@]}"; do
  grep -qxF -- "$p" <<<"$candidates" && continue
  if [ "$p" = "$i386_side" ]; then i386_reason="no package lists have it"; else unknown+=("$p"); fi
done
[ ${#unknown[@]} -eq 0 ] ||
  fail "no package lists have ${unknown[*]} (apt-cache policy: no installation candidate); cannot install them."

codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
# Installs the packages given, first as apt chooses, then in the release's own versions.
install() {
  apt_get installing install -y -q --no-install-recommends "$@" && return 0
  [ -n "$codename" ] || return 1
  echo "apt-get install failed ($(apt_reason)); trying the $codename release's own versions."
  apt_get installing install -y -q --no-install-recommends -t "$codename" "$@"
}

rest=()
for p in "${missing[@]}"; do
  [ "$p" = "$i386_side" ] || rest+=("$p")
done
if [ -z "$i386_reason" ]; then
  if install "${missing[@]}"; then
    rm -f "$i386_note"
    echo "Installed them and what they need: $(summary)."
    exit 0
  fi
  # Only a failure of the i386 side is passed over: apt's complaints must name an i386 package.
  complaints=$(grep -E '^ *[^ ]+ : Depends: |^E: ' "$log") || true
  [ ${#rest[@]} -lt ${#missing[@]} ] && [[ $complaints == *:i386* ]] ||
    fail "could not install ${missing[*]}: $(apt_reason)"
  i386_reason=$(apt_reason)
fi
echo "Wine's 32-bit side ($i386_side) cannot be installed ($i386_reason); installing the rest."
: >"$log"  # the failed attempt's words are in $i386_reason; its log says nothing of what is installed
[ ${#rest[@]} -eq 0 ] || install "${rest[@]}" || fail "could not install ${rest[*]}: $(apt_reason)"
mkdir -p "$(dirname "$i386_note")"
echo "$i386_side could not be installed ($i386_reason); run ./scripts/install-deps.sh again once the package mirror has synced." >"$i386_note"
echo "Installed all but $i386_side ($(summary)); the x86 programs' run-time tests will be skipped."
