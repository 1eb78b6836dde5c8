#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs the README's test command on a freshly installed Debian 12 with nothing but git: a scratch
# root made by debootstrap, this branch cloned into it, scripts/test.sh run inside through chroot.
# Run as root on a Debian machine with debootstrap. Logs go to <root>.logs/.
#   scripts/fresh-check.sh [root folder, default /work/fresh-root] [branch, default the current one]
# DEPS_ONLY=1 stops after deps.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
root=${1:-/work/fresh-root}
branch=${2:-$(git rev-parse --abbrev-ref HEAD)}
mirror=${MIRROR:-http://deb.debian.org/debian}
logs=$root.logs
mkdir -p "$logs"

[ -x "$root/usr/bin/apt-get" ] || debootstrap --variant=minbase bookworm "$root" "$mirror"

mounted=()
mount_in() {  # type-or-bind, source, target inside the root
  mkdir -p "$root$3"
  mountpoint -q "$root$3" && return
  if [ "$1" = bind ]; then mount --bind "$2" "$root$3"; else mount -t "$1" "$2" "$root$3"; fi
  mounted=("$root$3" "${mounted[@]}")
}
cleanup() { for m in "${mounted[@]}"; do umount -l "$m" || true; done; }
trap cleanup EXIT
mount_in proc proc /proc
mount_in sysfs sys /sys
mount_in bind /dev /dev
mount_in bind /dev/pts /dev/pts
mount_in tmpfs tmpfs /dev/shm
cp /etc/resolv.conf "$root/etc/resolv.conf"

in_root() { chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin \
  LANG=C.UTF-8 "$@"; }

# Nothing but git, then the clone: what the README's reader starts from.
in_root apt-get -o DPkg::Lock::Timeout=600 update -qq
in_root apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends git ca-certificates
rm -rf "$root/root/velmora"
git clone -q --branch "$branch" "file://$PWD" "$root/root/velmora"
in_root dpkg-query -W -f='${Package}\n' | sort >"$logs/before.txt"

# deps.sh needs the network; the build and the tests run in a network namespace of their own, so
# their Xvfb, session bus and loopback ports cannot meet the host's.
in_root bash -c 'cd /root/velmora && scripts/deps.sh' 2>&1 | tee "$logs/deps.log"
in_root dpkg-query -W -f='${Package}\n' | sort >"$logs/after.txt"
comm -13 "$logs/before.txt" "$logs/after.txt" >"$logs/installed.txt"
echo "deps.sh installed $(wc -l <"$logs/installed.txt") packages (list: $logs/installed.txt)"
[ "${DEPS_ONLY:-0}" = 1 ] && exit 0

status=0
unshare --net bash -c "ip link set lo up && chroot '$root' /usr/bin/env -i HOME=/root \
  PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 bash -c 'cd /root/velmora && scripts/test.sh'" \
  >"$logs/test.log" 2>&1 || status=$?
tail -n 30 "$logs/test.log"
echo "scripts/test.sh in the fresh root: exit status $status (log: $logs/test.log)"
exit "$status"
