#!/usr/bin/env bash
# Installs, with apt-get, what building and testing nuporaku needs on Debian 12 or 13.
# Only missing packages are installed; a machine that has them all is left untouched.
# A package mirror that is mid-sync is survived where it can be: a package list that fails to
# download is tried once more and then done without; an install whose dependencies do not fit is
# tried again with the release's own versions (consistent across architectures, where updates
# may have reached amd64 before i386); and where Wine's 32-bit side still cannot be installed,
# everything else is, and the x86 programs' run-time tests are skipped, saying why
# (build/wine32-missing.txt). Anything else that cannot be installed ends the script at once.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

i386_side=wine32:i386
packages=(
  cmake ninja-build python3 python3-pefile
  g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  googletest libgtest-dev clang libclang-rt-dev
  wine wine64 "$i386_side"
  xvfb xauth x11-utils imagemagick fonts-horai-umefont fonts-wine
)
i386_note=build/wine32-missing.txt

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

if ! "${sudo[@]}" apt-get update -q >"$log" 2>&1; then
  echo "apt-get update failed ($(apt_reason)); trying once more."
  "${sudo[@]}" apt-get update -q >"$log" 2>&1 ||
    echo "Some package lists could not be downloaded ($(apt_reason)); going on with the lists there are."
fi

# A package apt does not know at all cannot be had by trying again.
unknown=() i386_reason=
for p in "${missing[@]}"; do
  [[ $(apt-cache policy "$p" 2>/dev/null) == *"Candidate: "[^\(]* ]] && continue
  if [ "$p" = "$i386_side" ]; then i386_reason="no package lists have it"; else unknown+=("$p"); fi
done
[ ${#unknown[@]} -eq 0 ] ||
  fail "no package lists have ${unknown[*]} (apt-cache policy: no installation candidate); cannot install them."

codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
# Installs the packages given, first as apt chooses, then in the release's own versions.
install() {
  "${sudo[@]}" apt-get install -y -q --no-install-recommends "$@" >"$log" 2>&1 && return 0
  [ -n "$codename" ] || return 1
  echo "apt-get install failed ($(apt_reason)); trying the $codename release's own versions."
  "${sudo[@]}" apt-get install -y -q --no-install-recommends -t "$codename" "$@" >"$log" 2>&1
}

rest=()
for p in "${missing[@]}"; do
  [ "$p" = "$i386_side" ] || rest+=("$p")
done
if [ -z "$i386_reason" ]; then
  if install "${missing[@]}"; then
    rm -f "$i386_note"
    exit 0
  fi
  # Only a failure of the i386 side is passed over: apt's complaints must name an i386 package.
  complaints=$(grep -E '^ *[^ ]+ : Depends: |^E: ' "$log") || true
  [ ${#rest[@]} -lt ${#missing[@]} ] && [[ $complaints == *:i386* ]] ||
    fail "could not install ${missing[*]}: $(apt_reason)"
  i386_reason=$(apt_reason)
fi
echo "Wine's 32-bit side ($i386_side) cannot be installed ($i386_reason); installing the rest."
[ ${#rest[@]} -eq 0 ] || install "${rest[@]}" || fail "could not install ${rest[*]}: $(apt_reason)"
mkdir -p "$(dirname "$i386_note")"
echo "$i386_side could not be installed ($i386_reason); run ./scripts/install-deps.sh again once the package mirror has synced." >"$i386_note"
echo "Installed all but $i386_side: the x86 programs' run-time tests will be skipped."
