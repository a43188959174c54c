#!/usr/bin/env bash
# Runs a command in a virtual machine of Debian 12 with Debian's own kernel, which starts 32-bit
# programs, for a machine whose kernel cannot (IA-32 emulation off): there Wine's 32-bit loader
# fails with "Exec format error" and the x86 programs' tests are skipped.
#   scripts/in-vm.sh COMMAND [ARGUMENT...]     e.g. scripts/in-vm.sh ctest --preset x86
# The working tree is shared with the machine (9p) at the same absolute path, so what was built
# here runs there unchanged, and what the command writes in the tree (CTest's results, pictures)
# is here when it ends (the guest caches the share: see its init below). The command runs as
# root in the guest's equivalent of the current folder (the tree's top when called from outside
# it), with HOME=/root, LANG=C.UTF-8, and CI, TERM and the NUPORAKU_* variables passed on; its
# output comes here as it is written (and to build/vm/output.log); the exit code is the command's.
# The guest's root is made once with scripts/in-debian.sh (in build/vm/root), with what
# scripts/install-deps.sh installs and Debian's kernel, and then written to a disk image
# (build/vm/image/, by mke2fs: nothing is mounted), which is reused until what it is made from
# changes (install-deps.sh, in-debian.sh, the guest's setup and init below). The guest keeps its
# Wine session in /var/lib/nuporaku-wine on that disk, not in the tree's build/wine, which is the
# host's: its prefix is made once per disk. Before the command, the guest starts Wine's 32-bit
# loader; where it cannot, the run fails, saying so.
# KVM is used where it boots the guest's kernel (tried once per boot of this machine), else QEMU's
# emulation, TCG, many times slower; the first line says which, and why. The guest's kernel
# messages go to build/vm/console.log.
# While the guest is silent, a line every 30 s says that it runs, and for how long.
# Exit status: the command's; 1 where the guest failed before or around it (it printed nothing
# for too long, Wine's 32-bit loader did not start, it ended without the command's status); 3
# where the guest's root, its disk or QEMU could not be had (the registry did not answer, the
# disk is full), with a line saying why (also in build/vm/not-made.txt); 130 or 143 when
# interrupted. The guest is stopped, by its process id, whenever this script ends, and dies with
# it where it is killed outright. Needs root (or sudo).
#   NUPORAKU_VM_ACCEL          kvm or tcg, to choose (default: KVM where it works, else TCG)
#   NUPORAKU_VM_IDLE_TIMEOUT   seconds without a byte of output after which the guest is
#                              stopped and the run fails (default: 300)
#   NUPORAKU_DEBIAN_MIRROR     the package registry, for the root (see scripts/in-debian.sh)
set -Eeuo pipefail
caller_dir=$PWD
cd "$(dirname "${BASH_SOURCE[0]}")/.."
tree=$PWD
trap 'echo "in-vm.sh: \"$BASH_COMMAND\" failed (status $?)" >&2' ERR

[ $# -ge 1 ] || { echo "usage: $0 COMMAND [ARGUMENT...]" >&2; exit 2; }
case ${NUPORAKU_VM_ACCEL:-} in
  '' | kvm | tcg) ;;
  *) echo "in-vm.sh: NUPORAKU_VM_ACCEL must be kvm or tcg, not '$NUPORAKU_VM_ACCEL'" >&2; exit 2 ;;
esac
idle_limit=${NUPORAKU_VM_IDLE_TIMEOUT:-300}
[[ $idle_limit =~ ^[1-9][0-9]*$ ]] || { echo "in-vm.sh: NUPORAKU_VM_IDLE_TIMEOUT must be a number of seconds" >&2; exit 2; }

if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "in-vm.sh: making the guest's root and sharing the tree need root: run this as root, or install sudo." >&2; exit 3; }
  passed=$(compgen -e | grep -E '^(NUPORAKU_|CI$|TERM$)' | paste -sd, -)
  cd "$caller_dir"
  exec sudo ${passed:+--preserve-env="$passed"} "$tree/scripts/in-vm.sh" "$@"
fi

vm=$tree/build/vm
image=$vm/image
guest_wine_dir=/var/lib/nuporaku-wine
guest_init_path=/usr/local/sbin/nuporaku-vm-init
guest_setup_path=/usr/local/sbin/nuporaku-vm-setup
run_dir=$tree
case $caller_dir/ in "$tree"/*) run_dir=$caller_dir ;; esac
memory_mb=6144
cpus=2

# What makes the disk besides install-deps.sh's packages: Debian's kernel (kmod for the init's
# modprobe) and, named for its initramfs, the drivers that find the root disk, as the root has no
# udev to load drivers on demand; the init loads the rest (the console, the tree's share) itself.
kernel_packages=(linux-image-amd64 kmod)
boot_modules=(virtio_pci virtio_blk ext4)

# Written into the root as $guest_setup_path and run there by scripts/in-debian.sh, in its copy of
# the tree. The mark tells install-deps.sh that this root boots a kernel of its own, which runs
# 32-bit programs (in the chroot, the kernel is this machine's): it installs no QEMU there.
root_setup() {
  cat <<EOF
#!/bin/bash
# Makes scripts/in-vm.sh's guest out of this root (written by that script).
set -e
touch /etc/nuporaku-vm-guest
./scripts/install-deps.sh
if ! dpkg-query -W -f='\${Status}' wine32:i386 2>/dev/null | grep -q 'ok installed'; then
  echo "in-vm.sh: Wine's 32-bit side is not installed in the guest's root: \$(cat build/wine32-missing.txt 2>/dev/null)"
  exit 1
fi
modules=\$(printf '%s\n' ${boot_modules[*]})
if [ "\$(cat /etc/initramfs-tools/modules 2>/dev/null)" != "\$modules" ]; then
  mkdir -p /etc/initramfs-tools
  echo "\$modules" >/etc/initramfs-tools/modules
  rm -f /boot/initrd.img-*  # made anew, with these drivers, below
fi
echo "Installing Debian's kernel: ${kernel_packages[*]}..."
DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends ${kernel_packages[*]} >/var/log/nuporaku-kernel.log 2>&1 || {
  echo "in-vm.sh: apt-get could not install the kernel: \$(grep '^E: ' /var/log/nuporaku-kernel.log | head -n 1)"
  exit 1
}
ls /boot/initrd.img-* >/dev/null 2>&1 || update-initramfs -c -k all >>/var/log/nuporaku-kernel.log 2>&1
apt-get clean
EOF
}

# The guest's first process (its kernel's init=): it mounts what programs expect, the tree's share
# at the host's path, checks that a 32-bit program starts, runs the command of build/vm/job with
# its output on the virtio console (the host's build/vm/output.log), writes its exit status to
# build/vm/status, and powers the machine off.
guest_init() {
  cat <<'EOF'
#!/bin/bash
# The first process of scripts/in-vm.sh's virtual machine (written by that script).
set -u
export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
share=/run/nuporaku-tree status_file='' output=/dev/null

# A line to the host's terminal and to the kernel's console.
say() {
  echo "=== $*" >&2
  echo "=== $*" >"$output"
}

# Ends what the command left running, writes the disk and turns the power off. Nothing is read
# from the disk after that, not even this script (bash has read it whole: it is one function),
# while the kernel shuts the disk down.
power_off() {
  kill -TERM -1 2>/dev/null
  sleep 1
  kill -KILL -1 2>/dev/null
  sync
  umount "${tree:-$share}" 2>/dev/null
  mount -o remount,ro / 2>/dev/null
  echo o >/proc/sysrq-trigger
  while :; do :; done
}

failed() {
  say "in-vm: $*"
  [ -n "$status_file" ] && echo "failed $*" >"$status_file"
  power_off
}

# The whole run, as one function: see power_off.
main() {
  mountpoint -q /proc || mount -t proc proc /proc
  mountpoint -q /sys || mount -t sysfs sysfs /sys
  mountpoint -q /dev || mount -t devtmpfs devtmpfs /dev
  mkdir -p /dev/pts /dev/shm
  mountpoint -q /dev/pts || mount -t devpts -o ptmxmode=0666 devpts /dev/pts
  mount -t tmpfs -o mode=1777 tmpfs /dev/shm
  mountpoint -q /run || mount -t tmpfs -o mode=755 tmpfs /run
  mount -t tmpfs -o mode=1777 tmpfs /tmp
  modprobe -a virtio_console 9pnet_virtio 9p || failed "could not load the console's and the share's drivers"

  for _ in $(seq 50); do [ -c /dev/hvc0 ] && break; sleep 0.1; done
  [ -c /dev/hvc0 ] || failed "no virtio console (/dev/hvc0) for the command's output"
  stty -F /dev/hvc0 raw -echo  # the bytes as written: no carriage return added before a newline
  exec 3>/dev/hvc0
  output=/dev/hvc0

  # cache=loose: with cache=mmap or cache=none, Wine's 32-bit programs run from the share crashed
  # (measured: zeros where their code should be), though a plain mmap of the file read right. It
  # also means that what the guest writes reaches the host's files at the latest at power-off.
  mkdir -p "$share"
  mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144,cache=loose tree "$share" ||
    failed "could not mount the host's tree (9p share 'tree')"
  # tree, dir, env, command: the host's tree and folder, the variables passed on, the command;
  # terminal: whether the host's output is a terminal, as the command's then is.
  . "$share/build/vm/job" || failed "could not read the job build/vm/job in the host's tree"
  mkdir -p "$tree" && mount --move "$share" "$tree" || failed "could not mount the host's tree at $tree"
  status_file=$tree/build/vm/status

  if version=$(/usr/lib/wine/wine --version 2>&1); then
    say "Guest: Linux $(uname -r), up $(cut -d' ' -f1 /proc/uptime) s; 32-bit programs start here (/usr/lib/wine/wine --version: $version)"
  else
    failed "Wine's 32-bit loader does not start in the guest: /usr/lib/wine/wine --version: $version"
  fi

  cd "$dir" || failed "no folder $dir in the guest"
  if [ "$terminal" = yes ]; then
    env -i HOME=/root LANG=C.UTF-8 PATH="$PATH" "${env[@]}" "${command[@]}" </dev/null >&3 2>&3
  else
    env -i HOME=/root LANG=C.UTF-8 PATH="$PATH" "${env[@]}" "${command[@]}" </dev/null 2>&1 | cat >&3
    (exit "${PIPESTATUS[0]}")
  fi
  echo "exit $?" >"$status_file" || failed "could not write the command's exit status to $status_file"
  power_off
}

main
EOF
}

# Whatever makes the disk: when this changes, the disk is made anew.
image_recipe() {
  cat scripts/install-deps.sh scripts/in-debian.sh
  root_setup
  guest_init
}

not_made() {
  echo "in-vm.sh: $*" >&2
  echo "$*" >"$vm/not-made.txt"
  exit 3  # the caller may report the guest's tests as not run
}

# QEMU, installed where it is missing (scripts/install-deps.sh installs it on machines that need it).
need_qemu() {
  command -v qemu-system-x86_64 >/dev/null && return 0
  echo "Installing QEMU (qemu-system-x86)..."
  mkdir -p "$vm"
  { DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends qemu-system-x86 ||
    { apt-get update -q && DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends qemu-system-x86; }; } \
    >"$vm/qemu-install.log" 2>&1 ||
    not_made "could not install QEMU (qemu-system-x86): $(grep '^E: ' "$vm/qemu-install.log" | head -n 1)"
}

duration() {
  if [ "$1" -ge 60 ]; then echo "$(($1 / 60)) min $(($1 % 60)) s"; else echo "$1 s"; fi
}

in_root() {
  NUPORAKU_DEBIAN_DIR=$vm scripts/in-debian.sh 12 "$@"
}

# The disk image, made anew from the root where its recipe changed: written beside the last one
# and put in its place only when whole, so that an interrupted run leaves no half-made disk in use.
make_image() {
  local stamp started=$SECONDS kernel version size_mb reason
  stamp=$(image_recipe | sha256sum | cut -d' ' -f1)
  [ "$(cat "$image/stamp" 2>/dev/null)" = "$stamp" ] && return 0
  echo "=== Making the guest's root ($vm/root) and disk (once, and whenever what makes them changes)"
  mkdir -p "$vm"
  # The root first (in-debian.sh makes it where it is missing), then the guest out of it.
  if ! { in_root true && root_setup >"$vm/root$guest_setup_path" && chmod 755 "$vm/root$guest_setup_path" &&
    in_root "$guest_setup_path"; } 2>&1 | tee "$vm/root.log"; then
    reason=$(grep -E '^((in-debian|install-deps|in-vm)\.sh|E): ' "$vm/root.log" | tail -n 1) || reason=$(tail -n 1 "$vm/root.log")
    not_made "the guest's root could not be made: ${reason:-see $vm/root.log}"
  fi
  echo "The root took $(duration $((SECONDS - started)))."
  rm -rf "$vm/root/project"  # in-debian.sh's copy of the tree: the guest has the share instead
  kernel=$(cd "$vm/root/boot" && printf '%s\n' vmlinuz-* | sort -V | tail -n 1)
  [ -f "$vm/root/boot/$kernel" ] || not_made "no kernel in $vm/root/boot"
  version=${kernel#vmlinuz-}
  [ -f "$vm/root/boot/initrd.img-$version" ] || not_made "no initramfs for the kernel $version in $vm/root/boot"
  guest_init >"$vm/root$guest_init_path"
  chmod 755 "$vm/root$guest_init_path"
  mkdir -p "$vm/root$guest_wine_dir"

  started=$SECONDS
  rm -rf "$image.new"
  mkdir -p "$image.new"
  # Room for the root and 6 GB more (the Wine prefix, logs); the file is sparse.
  size_mb=$(($(du -smx "$vm/root" | cut -f1) + 6144))
  echo "Writing the disk image ($size_mb MB, sparse) from the root..."
  cp "$vm/root/boot/$kernel" "$image.new/vmlinuz"
  cp "$vm/root/boot/initrd.img-$version" "$image.new/initrd.img"
  truncate -s "${size_mb}M" "$image.new/disk.img"
  mke2fs -q -t ext4 -L nuporaku-vm -d "$vm/root" -F "$image.new/disk.img" 2>"$vm/mke2fs.log" ||
    not_made "mke2fs could not write the disk image: $(tail -n 1 "$vm/mke2fs.log")"
  echo "$stamp" >"$image.new/stamp"
  rm -rf "$image.old"
  [ ! -d "$image" ] || mv "$image" "$image.old"
  mv "$image.new" "$image"
  rm -rf "$image.old"
  echo "The disk image took $(duration $((SECONDS - started))) (Linux $version)."
}

# Whether KVM runs the guest's kernel with -cpu CPU: with no disk, the kernel boots as far as
# looking for its root and stops ("Kernel panic"), in a few seconds where KVM works. That /dev/kvm
# lets QEMU make a machine is not enough: on the machine this was written on (/dev/kvm from the
# module kvm_pvm, no vmx or svm in the CPU), QEMU made one, its firmware ran, and Linux stopped for
# good after "Probing EDD", as it leaves real mode (measured). Sets probe_error where not.
kvm_boots() {
  local log=$vm/kvm-probe.log
  : >"$log"
  qemu-system-x86_64 -accel kvm -cpu "$1" -nodefaults -display none -no-reboot -nic none -m 256 \
    -kernel "$image/vmlinuz" -append "console=ttyS0 panic=-1" -serial "file:$log" </dev/null >"$log.qemu" 2>&1 &
  qemu_pid=$!
  for _ in $(seq 100); do
    kill -0 "$qemu_pid" 2>/dev/null || break
    sleep 0.2
  done
  stop_guest
  grep -q 'Kernel panic' "$log" && return 0
  probe_error=$(grep -m 1 -i error "$log.qemu") ||
    probe_error="Linux did not boot within 20 s (it printed $(grep -c . "$log") lines; $log)"
  return 1
}

# KVM where it runs the guest's kernel, else TCG; the verdict is kept for this boot of this machine,
# this QEMU and this kernel. Sets accel_args, boot_args and accel_name.
choose_accel() {
  local why='' cpu='' key verdict=$vm/kvm-verdict
  if [ "${NUPORAKU_VM_ACCEL:-}" = tcg ]; then
    why="chosen by NUPORAKU_VM_ACCEL=tcg"
  elif [ ! -e /dev/kvm ]; then
    why="KVM is not usable: /dev/kvm is missing"
  else
    key="$(cat /proc/sys/kernel/random/boot_id) $(qemu-system-x86_64 --version | head -n 1) $(cat "$image/stamp")"
    if [ "$(head -n 1 "$verdict" 2>/dev/null)" = "$key" ]; then
      { read -r _; read -r cpu; read -r why; } <"$verdict"
    else
      # The host's CPU, or else the host's CPU without IA32_ARCH_CAPABILITIES: under the KVM of
      # the machine this was written on, QEMU 7.2 could not set that MSR and aborted (measured).
      for cpu in host host,-arch-capabilities ''; do
        [ -n "$cpu" ] || break
        kvm_boots "$cpu" 2>>"$vm/kvm-probe.log.qemu" && break  # bash's word on an abort, too
        why="${why:+$why; }-cpu $cpu: $probe_error"
      done
      [ -n "$cpu" ] || why="KVM is not usable: $why"
      printf '%s\n' "$key" "$cpu" "$why" >"$verdict"
    fi
    if [ -n "$cpu" ]; then
      accel_args=(-accel kvm -cpu "$cpu") boot_args='' accel_name="KVM (-cpu $cpu${why:+, as $why})"
      return 0
    fi
  fi
  [ "${NUPORAKU_VM_ACCEL:-}" != kvm ] || not_made "NUPORAKU_VM_ACCEL=kvm, but $why"
  # Without SMAP and PKU, in the CPU and in the kernel: in an earlier trial with Debian 12's QEMU
  # 7.2, its TCG got SMAP wrong and the guest's kernel oopsed whenever a 32-bit program started.
  # (With QEMU 7.2.22, here, a plain -cpu max started Wine's 32-bit loader.)
  # shellcheck disable=SC2054 # QEMU's options, with commas
  accel_args=(-accel tcg,thread=multi -cpu max,-smap,-pku) boot_args=nosmap
  accel_name="TCG, QEMU's emulation, many times slower than KVM ($why)"
}

# The job for the guest's init, in the shared tree: the tree and folder, the variables passed
# on, and the command, as bash reads them back.
write_job() {
  local dir=$run_dir env=() name command=("$@") terminal=no
  [ ! -t 1 ] || terminal=yes
  for name in $(compgen -e | grep -E '^(NUPORAKU_|CI$|TERM$)' | grep -vE '^NUPORAKU_(VM_|DEBIAN_|WINE_DIR$|WINE64_ONLY$|X86_VM$)'); do
    env+=("$name=${!name}")
  done
  env+=("NUPORAKU_WINE_DIR=$guest_wine_dir")
  declare -p tree dir env command terminal >"$vm/job"
}

qemu_pid='' tail_pid=''
stop_guest() {
  if [ -n "$qemu_pid" ]; then
    if kill "$qemu_pid" 2>/dev/null; then
      for _ in $(seq 20); do kill -0 "$qemu_pid" 2>/dev/null || break; sleep 0.5; done
      kill -KILL "$qemu_pid" 2>/dev/null || true
    fi
    wait "$qemu_pid" 2>/dev/null || true
  fi
  if [ -n "$tail_pid" ]; then
    kill "$tail_pid" 2>/dev/null || true
    wait "$tail_pid" 2>/dev/null || true
  fi
  qemu_pid='' tail_pid=''
}

console_tail() {
  echo "The guest's console's last lines ($vm/console.log):" >&2
  grep -v '^\s*$' "$vm/console.log" | tail -n 15 | sed 's/^/  /' >&2 || true
}

# Boots the machine on the disk, with the tree shared, and passes on what the command writes until
# the machine is off, stopping it where it has been silent for idle_limit seconds.
run_guest() {
  local output=$vm/output.log size last_size=-1 quiet_since=$SECONDS next_note=0 started=$SECONDS result
  rm -f "$vm/status"
  : >"$output"
  : >"$vm/console.log"
  echo "=== Virtual machine, $accel_name: $* (in $run_dir)"
  echo "${accel_name%%[ ,]*}" >"$vm/accel"
  # QEMU dies with this script even where it is killed outright (CI's time limit).
  setpriv --pdeathsig KILL qemu-system-x86_64 "${accel_args[@]}" -name nuporaku-vm -nodefaults -no-user-config -display none \
    -no-reboot -nic none -smp "$cpus" -m "$memory_mb" \
    -kernel "$image/vmlinuz" -initrd "$image/initrd.img" \
    -append "root=/dev/vda rw rootfstype=ext4 console=ttyS0 init=$guest_init_path quiet panic=-1 $boot_args" \
    -drive "file=$image/disk.img,format=raw,if=virtio" \
    -virtfs "local,path=$tree,mount_tag=tree,security_model=passthrough,id=tree" \
    -chardev "file,id=console,path=$vm/console.log,append=on" -serial chardev:console \
    -device virtio-serial-pci -chardev "file,id=output,path=$output,append=on" -device virtconsole,chardev=output \
    </dev/null >"$vm/qemu.log" 2>&1 &
  qemu_pid=$!
  tail -c +1 -f --pid="$qemu_pid" "$output" &
  tail_pid=$!
  while kill -0 "$qemu_pid" 2>/dev/null; do
    size=$(stat -c %s "$output")
    if [ "$size" != "$last_size" ]; then
      last_size=$size quiet_since=$SECONDS next_note=$((SECONDS + 30))
    elif [ $SECONDS -ge "$next_note" ]; then
      # A line at least every 30 s, as a long test in a slow guest may print nothing for minutes.
      echo "=== Virtual machine: running, $(duration $((SECONDS - started))) so far, the last output $(duration $((SECONDS - quiet_since))) ago"
      next_note=$((SECONDS + 30))
    fi
    if [ $((SECONDS - quiet_since)) -ge "$idle_limit" ]; then
      echo >&2
      echo "in-vm.sh: the guest printed nothing for $(duration "$idle_limit") (NUPORAKU_VM_IDLE_TIMEOUT); stopping it (QEMU, pid $qemu_pid)." >&2
      stop_guest
      console_tail
      exit 1
    fi
    sleep 1
  done
  result=0
  wait "$qemu_pid" || result=$?
  qemu_pid=
  wait "$tail_pid" || true
  tail_pid=
  took=$(duration $((SECONDS - started)))
  case $(cat "$vm/status" 2>/dev/null || true) in
    exit\ *)
      status=$(cut -d' ' -f2 "$vm/status")
      echo "=== Virtual machine: the command ended with status $status; the machine ran $took"
      exit "$status" ;;
    failed\ *)
      echo "in-vm.sh: the guest failed after $took: $(cut -d' ' -f2- "$vm/status")" >&2 ;;
    *)
      echo "in-vm.sh: the guest ended after $took without the command's exit status (QEMU's status $result; its last words: $(tail -n 2 "$vm/qemu.log" | paste -sd' ' -))." >&2 ;;
  esac
  console_tail
  exit 1
}

mkdir -p "$vm"
# One machine at a time on the disk.
exec 8>"$vm/lock"
if ! flock -n 8; then
  echo "Another scripts/in-vm.sh is using $vm; waiting for it..."
  flock 8
fi
trap 'stop_guest; rm -f "$vm/job"' EXIT
trap 'echo; echo "in-vm.sh: interrupted; stopping the guest." >&2; exit 130' INT
trap 'echo "in-vm.sh: terminated; stopping the guest." >&2; exit 143' TERM

rm -f "$vm/not-made.txt" "$vm/accel"
need_qemu
make_image
choose_accel
write_job "$@"
run_guest "$@"
