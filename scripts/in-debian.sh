#!/usr/bin/env bash
# Runs a command in a copy of this working tree inside a minimal Debian root file system, to try
# the project on another Debian release than this machine's:
#   scripts/in-debian.sh 12|13 COMMAND [ARGUMENT...]     e.g. scripts/in-debian.sh 13 ./scripts/test.sh
# The root (build/debian-RELEASE/root) is made once from Debian's package registry with
# debootstrap and reused; what the command installs there stays there. Each run copies the
# tracked and untracked files of the tree (not build/ nor .git) to /project in the root, over
# the last run's copy, keeping that copy's build/ so that the next run builds only what differs.
# The command runs there as root with /proc, /sys, /dev, /dev/pts and a private /dev/shm
# mounted, in mount and process namespaces of its own: when it ends, every process it started
# has ended and every mount is gone. Its exit code is the command's, or 3 where the root could not
# be made (build/debian-RELEASE/ready is then missing). Needs root (or sudo).
#   NUPORAKU_DEBIAN_MIRROR   the package registry (default: the one this machine's apt uses)
#   NUPORAKU_DEBIAN_DIR      where the root (root/), its logs and its ready mark are, for a root
#                            of its own such as scripts/in-vm.sh's guest; relative to the tree's
#                            top (default: build/debian-RELEASE)
set -Eeuo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root_dir=$PWD
trap 'echo "in-debian.sh: \"$BASH_COMMAND\" failed (status $?)" >&2' ERR

fail() {
  echo "in-debian.sh: $*" >&2
  exit 1
}

usage() {
  echo "usage: $0 12|13 COMMAND [ARGUMENT...]" >&2
  exit 2
}
[ $# -ge 2 ] || usage
case "$1" in
  12) codename=bookworm ;;
  13) codename=trixie ;;
  *) usage ;;
esac
release=$1
shift

if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || fail "making and entering a root file system needs root: run this as root, or install sudo."
  exec sudo --preserve-env=NUPORAKU_DEBIAN_MIRROR,NUPORAKU_DEBIAN_DIR,CI "$0" "$release" "$@"
fi

base=$(realpath -m "${NUPORAKU_DEBIAN_DIR:-$root_dir/build/debian-$release}")
target=$base/root

# The registry this machine's apt reads Debian from, so that the root comes from the same place.
default_mirror() {
  local uri
  uri=$(grep -hsE '^(URIs:|deb )' /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources |
    grep -oE 'https?://[^ ]+/debian/?' | grep -v security | head -n 1) || true
  echo "${uri:-http://deb.debian.org/debian}"
}
mirror=${NUPORAKU_DEBIAN_MIRROR:-$(default_mirror)}
mirror=${mirror%/}

make_root() {
  [ -f "$base/ready" ] && return 0
  mkdir -p "$(dirname "$base")"
  if ! command -v debootstrap >/dev/null; then
    echo "Installing debootstrap..."
    { DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends debootstrap ||
      { apt-get update -q; DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends debootstrap; }; } \
      >"$base.apt.log" 2>&1 || {
      echo "in-debian.sh: could not install debootstrap: $(grep '^E: ' "$base.apt.log" | head -n 1)" >&2
      exit 3
    }
  fi
  echo "Making a minimal Debian $release ($codename) root in $target from $mirror (once)..."
  # A root left half made: nothing may be mounted in it (debootstrap runs in a mount namespace
  # of its own, so nothing should), and nothing outside it is removed with it.
  { findmnt -rn -o TARGET | grep -F "$target/" || true; } | sort -r | xargs -r umount -l
  rm -rf --one-file-system "$target"
  mkdir -p "$base"
  if ! unshare --mount --propagation private debootstrap --variant=minbase "$codename" "$target" "$mirror" >"$base/debootstrap.log" 2>&1; then
    echo "in-debian.sh: debootstrap could not make the root; its last words ($base/debootstrap.log):" >&2
    grep -E '^(E|W):' "$base/debootstrap.log" | tail -n 5 >&2 || tail -n 5 "$base/debootstrap.log" >&2
    exit 3  # the registry did not give us a root: the caller may treat this as "not run"
  fi
  # The release, its updates and its security fixes, as a new installation has them.
  local security=${mirror%/debian}/debian-security
  cat >"$target/etc/apt/sources.list" <<EOF
deb $mirror $codename main
deb $mirror $codename-updates main
deb $security $codename-security main
EOF
  touch "$base/ready"
}

# The tree as git sees it (tracked and untracked files, not ignored ones) where git is here,
# else everything but build/ and .git, staged in the root first. A file the same as the last
# copy's is left as it is; one that differs (changed here, or in the root since) is written anew
# with this moment's time, so that the build in the root redoes what depends on it.
copy_tree() {
  local project=$target/project stage=$target/project.new file
  rm -rf "$stage"
  mkdir -p "$project" "$stage"
  if git -C "$root_dir" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git -C "$root_dir" ls-files -z --cached --others --exclude-standard |
      (cd "$root_dir" && tar --null --no-recursion --ignore-failed-read -cf - --files-from=- 2>/dev/null) | tar -xf - -C "$stage"
  else
    tar -C "$root_dir" --exclude=./build --exclude=./.git -cf - . | tar -xf - -C "$stage"
  fi
  (cd "$project" && find . -path ./build -prune -o -type f -print0) | while IFS= read -r -d '' file; do
    [ -f "$stage/$file" ] || rm -f "$project/$file"
  done
  (cd "$stage" && find . -type f -print0) | while IFS= read -r -d '' file; do
    cmp -s "$stage/$file" "$project/$file" && continue
    mkdir -p "$(dirname "$project/$file")"
    rm -f "$project/$file"
    cp --preserve=mode "$stage/$file" "$project/$file"
  done
  rm -rf "$stage"
}

make_root
copy_tree
cp -L /etc/resolv.conf "$target/etc/resolv.conf" 2>/dev/null || true

# Inside new mount and process namespaces: the mounts are private to them, and when the command
# ends the kernel ends every process left in the namespace (Xvfb, wineserver, anything stray).
inner='set -e
root=$1; shift
mount -t proc proc "$root/proc"
mount --rbind /sys "$root/sys"
mount --rbind /dev "$root/dev"
mount -t devpts -o newinstance,ptmxmode=0666 devpts "$root/dev/pts" 2>/dev/null || mount --bind /dev/pts "$root/dev/pts"
mount -t tmpfs -o mode=1777 tmpfs "$root/dev/shm"
exec chroot "$root" /usr/bin/env -i HOME=/root LANG=C.UTF-8 TERM="${TERM:-dumb}" CI="${CI:-}" \
  PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
  /bin/bash -c "cd /project && exec \"\$@\"" bash "$@"'
echo "=== Debian $release ($codename): $* (in $target/project)"
exec unshare --mount --propagation private --pid --fork --kill-child -- bash -c "$inner" bash "$target" "$@"
