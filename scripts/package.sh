#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the two Debian packages (velmora-jukebox_<version>_<arch>.deb and
# velmora2000_<version>_<arch>.deb in build/package) from the default build, then checks them:
# their contents and dependencies, lintian, and the programs run from an unpacked copy. With
# --upgrade OLD.deb (as root), also installs OLD.deb (a single velmora2000 package from before
# the split) with apt, upgrades it to the two, and removes them.
set -euo pipefail
old=
if [ "${1:-}" = --upgrade ]; then
    old=$(realpath "$2")
fi
cd "$(dirname "$0")/.."
scripts/deps.sh

cmake --preset default >/dev/null
cmake --build --preset default
rm -rf build/package
cpack --config build/default/CPackConfig.cmake -B "$PWD/build/package" >build/package.log ||
    { cat build/package.log; exit 1; }
jukebox=$(ls build/package/velmora-jukebox_*.deb)
board=$(ls build/package/velmora2000_*.deb)
echo "Built $jukebox $board"
tests/package/check_deb.sh "$jukebox" "$board"
[ -z "$old" ] || tests/package/check_upgrade.sh "$old" "$jukebox" "$board"
