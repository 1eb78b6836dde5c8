#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# A packager's build: out of tree, Release, no preset (so warnings are not errors), with GCC and
# with Clang; each must compile and pass its unit tests.
#   scripts/plain-builds.sh [gcc|clang]...   (default: both)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh clang-14

for compiler in "${@:-gcc clang}"; do
  for c in $compiler; do
    case $c in
      gcc) cxx=g++ ;;
      clang) cxx=clang++-14 ;;
      *) echo "unknown compiler: $c" >&2; exit 2 ;;
    esac
    dir=build/plain-$c
    echo "== $c: $dir"
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER="$cxx" >/dev/null
    cmake --build "$dir" -j2
    ctest --test-dir "$dir" -L unit --output-on-failure
  done
done
