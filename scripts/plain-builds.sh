#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# A packager's build: out of tree, Release, no preset (so warnings are not errors), with GCC and
# with Clang; each must compile without a warning in our own sources (src/, tools/, tests/, bench/,
# fuzz/; a system header's warning is not ours) and pass its unit tests. Every file is compiled
# again, so that each warning is seen; a compiler launcher (CMAKE_CXX_COMPILER_LAUNCHER=ccache)
# makes that quick.
#   scripts/plain-builds.sh [gcc|clang]...   (default: both)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh clang-14
top=$PWD

# The warnings of a build log that point into our sources. A path is absolute, or relative to the
# folder the compiler ran in (ccache's base folder makes it so): "../../tools/x.cpp".
our_warnings() {
  local line file
  grep -E '^[^ :]+:[0-9]+(:[0-9]+)?: warning: ' "$1" | while IFS= read -r line; do
    file=${line%%:*}
    case $file in
      /*) file=${file#"$top"/} ;;
      *) while [[ $file == ../* || $file == ./* ]]; do file=${file#*/}; done ;;
    esac
    case $file in src/* | tools/* | tests/* | bench/* | fuzz/*) printf '%s\n' "$line" ;; esac
  done | sort -u
}

failed=()
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
    cmake --build "$dir" -j2 --clean-first 2>&1 | tee "$dir/build.log"
    ctest --test-dir "$dir" -L unit --output-on-failure
    warnings=$(our_warnings "$dir/build.log")
    if [ -n "$warnings" ]; then
      echo "== $c: $(wc -l <<<"$warnings") warnings in our sources:"
      printf '%s\n' "$warnings"
      failed+=("$c")
    fi
  done
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "warnings in our sources with: ${failed[*]}" >&2
  exit 1
fi
echo "no warning in our sources"
