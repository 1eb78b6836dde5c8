#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds everything and runs every test. With --sanitize: the unit tests and the end-to-end runs of
# the real programs under ASan, UBSan and LeakSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh

preset=default
[ "${1:-}" = "--sanitize" ] && preset=sanitize

cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"
ctest --preset "$preset"
