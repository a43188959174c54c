#!/usr/bin/env bash
# Installs, with apt-get, what building and testing nuporaku needs on Debian 12 or Ubuntu.
# Only missing packages are installed; a machine that has them all is left untouched.
set -euo pipefail

packages=(
  cmake ninja-build python3 python3-pefile
  g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  googletest libgtest-dev clang libclang-rt-14-dev
  wine wine32:i386 wine64
  xvfb xauth x11-utils imagemagick fonts-horai-umefont fonts-wine
)

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${sudo[@]}" dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q
"${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
