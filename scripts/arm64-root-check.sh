#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs arm64 packages with apt into a fresh Debian 12 arm64 root, runs the service, and removes
# them again, on an amd64 machine through qemu-user-static and binfmt_misc. Run as root.
#   scripts/arm64-root-check.sh DEB...
# The packages are installed one after the other, in the order given (velmora-jukebox first, then
# velmora2000), each with its dependencies from the mirror and without the ones it only
# recommends; the installed size after each is printed. As soon as velmora-jukebox is there,
# `velmora-jukebox --demo --web` runs in a network namespace of its own: a probe greets it as a
# board does and waits for a "playing" message, then asks velmora-web for the page. Last,
# `apt-get purge --autoremove` removes them all and the root's files must be the ones
# it had before (apt's and dpkg's own state, logs and /tmp aside).
#
# The debootstrapped base is kept as a tarball (CACHE, default /var/cache/velmora2000, beside the
# cross build's root) and made again when a week old; the downloaded .debs are kept beside it.
# Environment:
#   ROOT=folder          the scratch root (default build/arm64-root; emptied first)
#   MIRROR=url           the Debian archive (default the one this machine's apt uses)
#   KEEP_ROOT=1          leave the root in place at the end
#   WHILE_INSTALLED=cmd  run `cmd ROOT` with the packages installed and the root's mounts up,
#                        before they are removed (bench/arm64/figures.sh measures there)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/root-common.sh
(($#)) || { echo "usage: $0 DEB..." >&2; exit 2; }
[ "$(id -u)" -eq 0 ] || { echo "run as root (debootstrap, chroot, mounts)" >&2; exit 2; }
debs=()
for deb in "$@"; do debs+=("$(realpath "$deb")"); done

root=$(realpath -m "${ROOT:-build/arm64-root}")
cache=${CACHE:-/var/cache/velmora2000}
base=$cache/debian-bookworm-arm64-minbase.tar.zst
archives=$cache/debian-bookworm-arm64-archives
logs=$root.logs
mirror=${MIRROR:-$(apt_mirror)}
[ -n "$mirror" ] ||
  { echo "no Debian archive in this machine's apt sources; set MIRROR" >&2; exit 2; }

# One run at a time on a root: a second would empty it under the first.
mkdir -p "$(dirname "$root")"
exec 9>"$root.lock"
flock -n 9 || { echo "another check is using $root" >&2; exit 2; }
finish() {
  unmount_all
  [ "${KEEP_ROOT:-0}" = 1 ] || rm -rf --one-file-system "$root"
}
trap finish EXIT
trap 'exit 130' INT TERM

start=$SECONDS
phase() {  # name: prints how long the phase that ends here took
  echo "== $1: $((SECONDS - phase_start)) s"
  timings+=("$1 $((SECONDS - phase_start)) s")
  phase_start=$SECONDS
}
phase_start=$SECONDS
timings=()

# arm64 programs run through qemu-aarch64-static. Debian registers it with the F flag (the kernel
# opens the interpreter once, so it works inside any root); binfmt_misc is the machine's, left
# mounted as systemd would have it.
binfmt=/proc/sys/fs/binfmt_misc
[ -e $binfmt/status ] || mount -t binfmt_misc binfmt_misc $binfmt
[ -e $binfmt/qemu-aarch64 ] || update-binfmts --enable qemu-aarch64
grep -qx enabled $binfmt/qemu-aarch64 ||
  { echo "qemu-aarch64 is not enabled in binfmt_misc" >&2; exit 1; }
grep -q '^flags:.*F' $binfmt/qemu-aarch64 ||
  { echo "qemu-aarch64 is registered without the F flag: chroot cannot find it" >&2; exit 1; }

# A root left by an interrupted run may still have mounts: take them down before emptying it.
findmnt -rn -o TARGET | { grep -F "$root/" || true; } | sort -r | xargs -r -d '\n' umount -l
rm -rf --one-file-system "$root" "$logs"
mkdir -p "$root" "$logs" "$cache" "$archives"
if [ -f "$base" ] && [ -z "$(find "$base" -mtime +6)" ]; then
  tar -C "$root" --numeric-owner --zstd -xpf "$base"
  phase "base from $base"
else
  debootstrap --arch=arm64 --variant=minbase bookworm "$root" "$mirror" >"$logs/debootstrap.log" ||
    { tail -n 20 "$logs/debootstrap.log"; exit 1; }
  part=$(mktemp "$base.XXXXXX")  # another root may be making one too
  tar -C "$root" --numeric-owner --zstd -cpf "$part" . && mv "$part" "$base"
  phase "base by debootstrap (kept as $base)"
fi

mount_system
mount_in bind "$archives" /var/cache/apt/archives
apt_get() { in_root apt-get -o DPkg::Lock::Timeout=600 -o Dpkg::Use-Pty=0 -q "$@"; }
apt_get update -qq

# The root's files, apt's and dpkg's own state, logs and /tmp aside.
list_files() {
  (cd "$root" && find . -xdev \( -path ./var/lib/apt -o -path ./var/lib/dpkg -o \
    -path ./var/cache/apt -o -path ./var/cache/debconf -o -path ./var/log -o -path ./tmp \) \
    -prune -o -print) | sort
}
installed() { in_root dpkg-query -W -f='${Package} ${Installed-Size}\n' | sort; }
list_files >"$logs/files-before.txt"
installed >"$logs/packages-before.txt"
# The downloaded .debs are bound in from the cache, on the same file system: du would count them;
# /tmp holds the packages to install and what the service writes when it runs.
root_bytes() {
  du -sxb --exclude="$root/var/cache/apt/archives" --exclude="$root/tmp" "$root" | cut -f1
}
du_before=$(root_bytes)
phase "apt-get update"

# The service in a network of its own (its port cannot meet the host's), with the browser board,
# and a probe that greets it and asks for the page. It writes its covers under HOME: a throwaway
# one under /tmp, as a user's home is not the package's.
greet_service() {
  export root
  unshare --net bash -c '
    ip link set lo up
    chroot "$root" /usr/bin/env -i HOME=/tmp/velmora-home PATH=/usr/bin:/bin LANG=C.UTF-8 \
      velmora-jukebox --demo --port 47321 --web 127.0.0.1:8080 >"$0/service.log" 2>&1 &
    service=$!
    trap "kill $service 2>/dev/null" EXIT
    status=0
    python3 tests/package/link_greet.py 47321 120 8080 || status=$?
    kill -TERM $service
    wait $service || { echo "velmora-jukebox ended with status $? on SIGTERM"; status=1; }
    exit $status' "$logs" || { cat "$logs/service.log"; exit 1; }
}

# Each package with what it depends on, one after the other: the sizes add up to the board's. The
# service runs as soon as it is installed, with only what its own package brought (a headless box).
mkdir -p "$root/tmp/velmora-debs"
names=()
previous=$logs/packages-before.txt
greeted=0
for deb in "${debs[@]}"; do
  name=$(dpkg-deb --field "$deb" Package)
  names+=("$name")
  cp "$deb" "$root/tmp/velmora-debs/"
  # The cache's .debs are shared by every root: one apt at a time takes them (apt's own lock on
  # them does not wait).
  {
    flock 8
    apt_get install -y --no-install-recommends "/tmp/velmora-debs/$(basename "$deb")" \
      >"$logs/install-$name.log" 2>&1
  } 8>"$archives.lock" ||
    { tail -n 30 "$logs/install-$name.log"; exit 1; }
  installed >"$logs/packages-$name.txt"
  added=$(comm -13 "$previous" "$logs/packages-$name.txt")
  count=$(grep -c . <<<"$added" || true)
  kib=$(awk '{ s += $2 } END { print s + 0 }' <<<"$added")
  total=$(comm -13 "$logs/packages-before.txt" "$logs/packages-$name.txt" |
    awk '{ n++; s += $2 } END { printf "%d packages, %d KiB", n, s }')
  du_now=$(root_bytes)
  echo "installed $name: $count packages added, Installed-Size $kib KiB;" \
    "since the fresh root: $total, du +$((du_now - du_before)) bytes" | tee -a "$logs/sizes.txt"
  previous=$logs/packages-$name.txt
  phase "install $name"
  if ((!greeted)) && [ -x "$root/usr/bin/velmora-jukebox" ]; then
    greet_service
    greeted=1
    phase "velmora-jukebox --demo --web greeted"
  fi
done
((greeted)) || { echo "FAIL: no package installed /usr/bin/velmora-jukebox"; exit 1; }

if [ -n "${WHILE_INSTALLED:-}" ]; then
  $WHILE_INSTALLED "$root"
  phase "$WHILE_INSTALLED"
fi

apt_get purge -y --autoremove "${names[@]}" >"$logs/purge.log" 2>&1 ||
  { tail -n 30 "$logs/purge.log"; exit 1; }
rm -rf "$root/tmp/velmora-debs" "$root/tmp/velmora-home"
list_files >"$logs/files-after.txt"
installed >"$logs/packages-after.txt"
phase "purge"

status=0
if ! cmp -s "$logs/packages-before.txt" "$logs/packages-after.txt"; then
  echo "FAIL: packages differ after the purge (< before, > after):"
  diff "$logs/packages-before.txt" "$logs/packages-after.txt" | grep '^[<>]' | head -n 40
  status=1
fi
if ! cmp -s "$logs/files-before.txt" "$logs/files-after.txt"; then
  echo "FAIL: files differ after the purge (< before, > after):"
  diff "$logs/files-before.txt" "$logs/files-after.txt" | grep '^[<>]' | head -n 40
  status=1
fi
echo "arm64 root check (${names[*]}): $( ((status)) && echo FAILED || echo passed)," \
  "$((SECONDS - start)) s in all: $(IFS=';'; echo "${timings[*]}")"
exit $status
