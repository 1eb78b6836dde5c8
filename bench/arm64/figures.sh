#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The arm64 box's figures (docs/benchmarks.md), measured, never asserted. Run as root:
#   bench/arm64/figures.sh DEB...
# DEB: the packages of both architectures; the arm64 ones in the order they install (velmora-jukebox
# first, then velmora2000). Prints each package's size; then scripts/arm64-root-check.sh installs
# the arm64 ones into a fresh arm64 root (the installed size with the dependencies after each) and,
# while they are installed, bench/arm64/service_memory.sh reads the arm64 service's memory under
# qemu-user; last the same load on the amd64 service, natively, for comparison.
set -euo pipefail
cd "$(dirname "$0")/../.."
arm64=()
amd64=()
echo "package sizes:"
for deb in "$@"; do
  arch=$(dpkg-deb --field "$deb" Architecture)
  printf '  %-40s %-6s %9d bytes, Installed-Size %6d KiB\n' "$(basename "$deb")" "$arch" \
    "$(stat -c %s "$deb")" "$(dpkg-deb --field "$deb" Installed-Size)"
  case $arch in
    arm64) arm64+=("$deb") ;;
    amd64) amd64+=("$deb") ;;
  esac
done

((${#arm64[@]})) || { echo "no arm64 package given" >&2; exit 2; }
echo "arm64, in a fresh root under qemu-user:"
WHILE_INSTALLED=bench/arm64/service_memory.sh scripts/arm64-root-check.sh "${arm64[@]}"

for deb in "${amd64[@]}"; do
  [[ $(dpkg-deb --contents "$deb") == *" ./usr/bin/velmora-jukebox"* ]] || continue
  tree=$(mktemp -d "${TMPDIR:-/tmp}/velmora-amd64.XXXXXX")
  dpkg-deb -x "$deb" "$tree"
  echo "amd64, natively, from $(basename "$deb"):"
  bench/arm64/service_memory.sh --native "$tree" || true
  rm -rf "$tree"
done
