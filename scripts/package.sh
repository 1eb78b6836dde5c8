#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the Debian package (velmora2000_<version>_<arch>.deb in build/package) from the default
# build, then checks it: its contents and dependencies, lintian, and the programs run from an
# unpacked copy.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh

cmake --preset default >/dev/null
cmake --build --preset default
rm -rf build/package
cpack --config build/default/CPackConfig.cmake -B "$PWD/build/package" >build/package.log ||
    { cat build/package.log; exit 1; }
deb=$(ls build/package/velmora2000_*.deb)
echo "Built $deb"
tests/package/check_deb.sh "$deb"
