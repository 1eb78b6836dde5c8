#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Cross-builds the Linux programs and the unit tests of the core and of the service for arm64 with
# Debian 12's cross compiler, and makes the arm64 Debian packages (build/arm64/package/*.deb).
# The build runs in a Debian 12 amd64 root of its own (build/arm64/root, kept as a tarball under
# /var/cache/velmora2000 between runs) that holds the arm64 development packages through
# multiarch: several of them (libwmf-dev) cannot be installed beside their amd64 twins, and the
# host's own packages stay as they are.
#   cross-arm64.sh          build and package
#   cross-arm64.sh --test   then run the arm64 unit tests under qemu-user, and the arm64 service
#                           and velmora-web under qemu-user against a native MPD, board and
#                           Chromium (scripts/test-arm64.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
src=$PWD
run_tests=0
[ "${1:-}" = --test ] && run_tests=1

scripts/deps.sh debootstrap qemu-user-static zstd

out=$src/build/arm64
root=$out/root
mirror=${VELMORA_DEBIAN_MIRROR:-http://deb.debian.org/debian}
cache=${VELMORA_ARM64_CACHE:-/var/cache/velmora2000}

# What the root holds: amd64 build tools (and the amd64 Qt, whose moc and CMake files a cross build
# of Qt code uses), arm64 libraries to build against.
packages=(
  crossbuild-essential-arm64 cmake make pkgconf file ccache
  qt6-base-dev qt6-base-dev-tools libwayland-bin wayland-protocols libasio-dev
  qt6-base-dev:arm64 qt6-base-private-dev:arm64 qt6-svg-dev:arm64
  libwayland-dev:arm64 plasma-wayland-protocols:arm64 libxcb1-dev:arm64
  libsystemd-dev:arm64 libcurl4-openssl-dev:arm64
  libwmf-dev:arm64 libemf2svg-dev:arm64 libseccomp-dev:arm64
  libboost1.81-dev:arm64 libboost-json1.81-dev:arm64
  libgtest-dev:arm64 libgmock-dev:arm64
)
key=$(printf '%s\n' "$mirror" "${packages[@]}" | sha256sum | cut -c1-12)
tarball=$cache/arm64-root-$key.tar.zst

# Runs a command in the root, with the source tree at its own path and the compiler cache (kept
# beside the root's tarball, shared by checkouts in other folders), in a mount namespace of its
# own: nothing stays mounted when it ends, whatever way it ends.
mkdir -p "$cache/ccache"
in_root() {
  unshare --mount --propagation private -- /bin/bash -euc '
    root=$1 src=$2 ccache=$3
    shift 3
    mkdir -p "$root$src" "$root/var/cache/ccache"
    mount --bind "$src" "$root$src"
    mount --bind "$ccache" "$root/var/cache/ccache"
    mount -t proc proc "$root/proc"
    mount --rbind /dev "$root/dev"
    exec chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
      LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive CCACHE_DIR=/var/cache/ccache \
      CCACHE_BASEDIR="$src" CCACHE_MAXSIZE=2G "$@"
  ' in_root "$root" "$src" "$cache/ccache" "$@"
}

started=$(date +%s)
stamp() { echo "== $1 ($(($(date +%s) - started)) s)"; }

if [ ! -e "$root/.velmora-root-$key" ]; then
  rm -rf "$root"
  mkdir -p "$root"
  if [ -s "$tarball" ]; then
    stamp "Build root from $tarball"
    tar -C "$root" -I zstd -xf "$tarball"
  else
    stamp "Build root: debootstrap bookworm"
    debootstrap --variant=minbase bookworm "$root" "$mirror" >"$out/debootstrap.log" 2>&1 ||
      { tail -n 30 "$out/debootstrap.log"; exit 1; }
    security=${mirror%/debian}/debian-security
    printf 'deb %s bookworm main\ndeb %s bookworm-updates main\ndeb %s bookworm-security main\n' \
      "$mirror" "$mirror" "$security" >"$root/etc/apt/sources.list"
    cp /etc/resolv.conf "$root/etc/resolv.conf"
    stamp "Build root: the cross compiler and the arm64 development packages"
    in_root /bin/sh -c "dpkg --add-architecture arm64 && apt-get -o Acquire::Retries=3 update -qq &&
      apt-get install -y -qq --no-install-recommends ${packages[*]} && apt-get clean" \
      >"$out/root-packages.log" 2>&1 || { tail -n 30 "$out/root-packages.log"; exit 1; }
    rm -rf "$root"/var/lib/apt/lists/*
    touch "$root/.velmora-root-$key"
    stamp "Build root: saved as $tarball"
    mkdir -p "$cache"
    rm -f "$cache"/arm64-root-*.tar.zst
    tar -C "$root" --exclude="./${src#/}" -I 'zstd -T2 -3' -cf "$tarball.$$.part" . &&
      mv "$tarball.$$.part" "$tarball"
  fi
  touch "$root/.velmora-root-$key"
fi

stamp "Configure (preset arm64)"
# The tests run later on this machine, under qemu-user with the root's arm64 libraries.
in_root /bin/sh -c "cd '$src' && cmake --preset arm64 \
  -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache \
  '-DCMAKE_CROSSCOMPILING_EMULATOR=/usr/bin/qemu-aarch64-static;-L;$root'" >"$out/configure.log" ||
  { cat "$out/configure.log"; exit 1; }

stamp "Build: the programs; the unit tests of the core, the service, velmora-web, velmora-idle"
targets=(velmora2000 velmora-jukebox velmora-web velmora-idle velmora-metafile velmora_packed_docs
  velmora_unit_tests velmora_jukebox_tests velmora_jukebox_process_tests velmora_web_tests
  velmora_idle_tests)
in_root /bin/sh -c "cd '$src' && cmake --build --preset arm64 --target ${targets[*]}"

stamp "Debian packages (build/arm64/package)"
# dpkg-shlibdeps looks for the arm64 libraries and their symbols files.
rm -rf "$out/package"
in_root /bin/sh -c "cd '$src' && DEB_HOST_ARCH=arm64 \
  cpack --config build/arm64/tree/CPackConfig.cmake -B '$out/package'" >"$out/package.log" 2>&1 ||
  { cat "$out/package.log"; exit 1; }
rm -rf "$out/package/_CPack_Packages"
for deb in "$out"/package/*.deb; do
  echo "$deb: $(stat -c %s "$deb") bytes, $(dpkg-deb -f "$deb" Architecture)"
  echo "  Depends: $(dpkg-deb -f "$deb" Depends)"
  # Debian's own checker, as on amd64: neither errors nor warnings.
  lintian --fail-on error,warning --tag-display-limit 0 "$deb"
done
stamp "Built"

if [ "$run_tests" = 1 ]; then
  VELMORA_ARM64_ROOT=$root scripts/test-arm64.sh
fi
