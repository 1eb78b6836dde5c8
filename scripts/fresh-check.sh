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

# The first Debian archive in the machine's apt sources: a one-line "deb [options] URI suite ..."
# or a deb822 stanza's "URIs:", taken where a suite is the release itself (not -updates or
# -security).
apt_mirror() {
  local list sources
  list=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null || true)
  sources=$(cat /etc/apt/sources.list.d/*.sources 2>/dev/null || true)
  {
    awk '$1 == "deb" {
      i = 2
      if ($i ~ /^\[/) { while (i < NF && $i !~ /\]$/) i++; i++ }
      if ($(i + 1) !~ /-/) { print $i; exit }
    }' <<<"$list"
    awk 'BEGIN { RS = "" }
    {
      types = ""; uris = ""; suites = ""; enabled = "yes"
      n = split($0, lines, "\n")
      for (j = 1; j <= n; j++) {
        if (lines[j] ~ /^#/ || !match(lines[j], /^[A-Za-z-]+:/)) continue
        key = tolower(substr(lines[j], 1, RLENGTH - 1)); value = substr(lines[j], RLENGTH + 1)
        if (key == "types") types = value
        else if (key == "uris") uris = value
        else if (key == "suites") suites = value
        else if (key == "enabled") enabled = value
      }
      if (enabled !~ /no/ && (" " types " ") ~ / deb / && (" " suites " ") ~ / [^ -]+ /) {
        split(uris, uri, " "); print uri[1]; exit
      }
    }' <<<"$sources"
  } | head -n 1
}
mirror=${MIRROR:-$(apt_mirror)}
if [ -z "$mirror" ]; then
  echo "no Debian archive in /etc/apt/sources.list or /etc/apt/sources.list.d/; set MIRROR" >&2
  exit 2
fi
echo "mirror: $mirror"
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
