#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# A packager's build: out of tree, Release, no preset (so warnings are not errors), with GCC and
# with Clang; each must compile without a warning in our own sources (src/, common/, jukebox/, web/,
# tools/, tests/, bench/, fuzz/; a system header's warning is not ours) and pass its unit tests.
# Every file is compiled again, so that each warning is seen; a compiler launcher
# (CMAKE_CXX_COMPILER_LAUNCHER=ccache) makes that quick.
#   scripts/plain-builds.sh [gcc|clang]...   (default: both)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh clang-14
top=$PWD

# Whether a path from a build log names one of our sources. It is absolute, or relative to the
# folder the compiler ran in (ccache's base folder makes it so): "../../tools/x.cpp".
ours() {
  local file=$1
  case $file in
    /*) file=${file#"$top"/} ;;
    *) while [[ $file == ../* || $file == ./* ]]; do file=${file#*/}; done ;;
  esac
  case $file in src/* | common/* | jukebox/* | web/* | tools/* | tests/* | bench/* | fuzz/*) return 0 ;; esac
  return 1
}

# The warnings of a build log that are ours: at a line of our sources, or in a system header where
# the compiler inlined our code ("inlined from ... at tests/x.cpp:26:25").
our_warnings() {
  local line inlined="" warning='^([^ :]+):[0-9]+(:[0-9]+)?: warning: '
  local from='inlined from .* at ([^ :]+):[0-9]+'
  while IFS= read -r line; do
    if [[ $line =~ $warning ]]; then
      if ours "${BASH_REMATCH[1]}"; then
        printf '%s\n' "$line"
      elif [ -n "$inlined" ]; then
        printf '%s (inlined from %s)\n' "$line" "$inlined"
      fi
      inlined=""
    elif [[ $line =~ $from ]] && ours "${BASH_REMATCH[1]}"; then
      inlined=${line##* at }
    elif [[ $line =~ ^\[ ]]; then
      inlined=""
    fi
  done <"$1" | sort -u
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
