# SPDX-License-Identifier: MIT
# Sourced by the scripts that work in a scratch Debian root (fresh-check.sh, arm64-root-check.sh):
# the mirror this machine's apt uses, mounts that are undone on exit, commands run inside.
# The sourcing script sets $root before calling mount_in or in_root.

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

# Mounts made inside the root, newest first, so that unmount_all undoes them in reverse.
mounted=()
mount_in() {  # type-or-bind, source, target inside the root
  mkdir -p "$root$3"
  mountpoint -q "$root$3" && return
  if [ "$1" = bind ]; then mount --bind "$2" "$root$3"; else mount -t "$1" "$2" "$root$3"; fi
  mounted=("$root$3" "${mounted[@]}")
}
unmount_all() {
  for m in "${mounted[@]}"; do umount -l "$m" || true; done
  mounted=()
}
# What a chroot needs to run apt and programs: proc, sys, the host's devices, the name server.
mount_system() {
  mount_in proc proc /proc
  mount_in sysfs sys /sys
  mount_in bind /dev /dev
  mount_in bind /dev/pts /dev/pts
  mount_in tmpfs tmpfs /dev/shm
  cp /etc/resolv.conf "$root/etc/resolv.conf"
}

in_root() { chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin \
  LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive "$@"; }
