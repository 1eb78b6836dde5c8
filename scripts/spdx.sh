#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Lists the project's source files that lack an SPDX licence line; with --add, adds one.
set -euo pipefail
cd "$(dirname "$0")/.."

add=0
[ "${1:-}" = "--add" ] && add=1

missing=0
while IFS= read -r f; do
  head -n 3 "$f" | grep -q 'SPDX-License-Identifier' && continue
  if ((add == 0)); then
    echo "no licence line: $f"
    missing=1
    continue
  fi
  case "$f" in
    *.cpp | *.h | *.rc) line='// SPDX-License-Identifier: MIT' ;;
    *) line='# SPDX-License-Identifier: MIT' ;;
  esac
  if head -n 1 "$f" | grep -q '^#!'; then
    sed -i "1a $line" "$f"
  else
    sed -i "1i $line" "$f"
  fi
done < <(git ls-files -- '*.cpp' '*.h' '*.rc' '*.nsi' '*.sh' '*.py' '*.cmake' 'CMakeLists.txt' '*/CMakeLists.txt' '.ci/run')

exit "$missing"
