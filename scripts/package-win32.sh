#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the Windows installer, build/win32-mingw/Velmora2000-Setup-<version>.exe: cross-builds
# the programs with MinGW-w64 (preset mingw) and packs them with NSIS. scripts/test-win32.sh
# builds it too, and tests it under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 googletest nsis
cmake --preset mingw >/dev/null
cmake --build --preset mingw --target velmora2000_setup
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' build/win32-mingw/CMakeCache.txt)
setup=build/win32-mingw/Velmora2000-Setup-$version.exe
echo "$setup: $(stat -c %s "$setup") bytes"
