#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs the README's test command on a freshly installed Debian 12 with nothing but git: a scratch
# root made by debootstrap, this branch cloned into it, scripts/test.sh run inside through chroot.
# Run as root on a Debian machine with debootstrap. Logs go to <root>.logs/.
#   scripts/fresh-check.sh [root folder, default $TMPDIR/velmora-fresh-root] [branch, default the current one]
# The packages come from the mirror this machine's apt uses (MIRROR overrides it).
# DEPS_ONLY=1 stops after deps.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
root=${1:-${TMPDIR:-/tmp}/velmora-fresh-root}
branch=${2:-$(git rev-parse --abbrev-ref HEAD)}
logs=$root.logs

source scripts/root-common.sh
mirror=${MIRROR:-$(apt_mirror)}
if [ -z "$mirror" ]; then
  echo "no Debian archive in /etc/apt/sources.list or /etc/apt/sources.list.d/; set MIRROR" >&2
  exit 2
fi
echo "mirror: $mirror"
mkdir -p "$logs"

[ -x "$root/usr/bin/apt-get" ] || debootstrap --variant=minbase bookworm "$root" "$mirror"

trap unmount_all EXIT
mount_system

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
