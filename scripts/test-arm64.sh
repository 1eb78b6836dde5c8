#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs what scripts/cross-arm64.sh built for arm64 under qemu-user on this amd64 machine: the unit
# tests (ctest, preset arm64), then end to end the arm64 velmora-jukebox following a native MPD with
# the native board showing it (tests/e2e/mpd_bridge.sh), and the arm64 velmora-web with the arm64
# service serving a native Chromium (web/tests/browser_board.py). What qemu-user cannot run is
# skipped with the reason printed. Ends with "arm64: N passed, N failed".
set -euo pipefail
cd "$(dirname "$0")/.."
src=$PWD
root=${VELMORA_ARM64_ROOT:-$src/build/arm64/root}
tree=$src/build/arm64/tree
[ -x "$tree/jukebox/velmora-jukebox" ] ||
  { echo "no arm64 build: run scripts/cross-arm64.sh"; exit 1; }

scripts/deps.sh qemu-user-static
# Programs the arm64 programs start (the service's own process test starts velmora-jukebox) run
# through the kernel's binfmt_misc entry, as Debian's systemd-binfmt sets it up at boot; a machine
# that booted without it gets it here.
if [ ! -e /proc/sys/fs/binfmt_misc/qemu-aarch64 ]; then
  [ -e /proc/sys/fs/binfmt_misc/register ] ||
    mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
  cat /usr/lib/binfmt.d/qemu-aarch64.conf >/proc/sys/fs/binfmt_misc/register
fi
# Every arm64 program, and every one it starts, finds its libraries in the build root.
export QEMU_LD_PREFIX=$root

passed=0
failed=0
pass() { passed=$((passed + 1)); echo "PASS $1"; }
fail() { failed=$((failed + 1)); echo "FAIL $1"; }
started=$(date +%s)
stamp() { echo "== $1 ($(($(date +%s) - started)) s)"; }

stamp "Unit tests under qemu-user (ctest --preset arm64)"
if ctest --preset arm64 -j2 >"$tree/ctest.log" 2>&1; then
  pass "arm64 unit tests"
else
  fail "arm64 unit tests"
fi
grep -E 'tests passed|Failed|Not Run|\*\*\*' "$tree/ctest.log" || true
# What was skipped, and why: gtest's message stands between "Skipped" and "[  SKIPPED ]".
awk '/: Skipped$/ {why = 1; next} why && /^\[  SKIPPED \]/ {print "SKIP " $4 ": " text; why = 0;
     text = ""; next} why {text = text $0}' "$tree/Testing/Temporary/LastTest.log" | sort -u

# The arm64 velmora-metafile itself: a file that is no metafile is refused (1); without its seccomp
# filter it draws nothing (2), and qemu-user refuses every filter.
printf 'not a metafile' >"$tree/not-a-metafile.wmf"
status=0
out=$(qemu-aarch64-static "$tree/src/app/velmora-metafile" "$tree/not-a-metafile.wmf" 2>&1) ||
  status=$?
if [ "$status" = 1 ]; then
  pass "arm64 velmora-metafile refuses a file that is no metafile"
elif [ "$status" = 2 ] && [ "$out" = "velmora-metafile: cannot refuse network access" ]; then
  echo "SKIP velmora-metafile under qemu-user: qemu-user refuses seccomp filters, and the helper" \
    "draws nothing without its own (\"$out\")"
else
  fail "arm64 velmora-metafile: exit $status, \"$out\""
fi

# The arm64 programs as commands: qemu-user takes the place of the program's own process.
bin=$src/build/arm64/run
mkdir -p "$bin"
for program in velmora-jukebox src/app/velmora-web; do
  name=${program##*/}
  [ "$name" = velmora-jukebox ] && program=jukebox/velmora-jukebox
  printf '#!/bin/sh\nexec qemu-aarch64-static %s "$@"\n' "$tree/$program" >"$bin/$name"
  chmod +x "$bin/$name"
done

# The native board (the default build, as scripts/test.sh leaves it).
board=$src/build/default/src/app/velmora2000
if [ ! -x "$board" ]; then
  stamp "The native board (build/default)"
  cmake --preset default >/dev/null
  cmake --build --preset default --target velmora2000 velmora-metafile >/dev/null
fi

stamp "arm64 velmora-jukebox --mpd: a native MPD, the native board"
if xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" tests/e2e/mpd_bridge.sh "$board" \
  "$bin/velmora-jukebox" >"$tree/mpd_bridge.log" 2>&1; then
  pass "arm64 velmora-jukebox follows a native MPD and the native board shows it"
else
  cat "$tree/mpd_bridge.log"
  fail "arm64 velmora-jukebox follows a native MPD and the native board shows it"
fi
grep '^PASS' "$tree/mpd_bridge.log" | sed 's/^/  /' || true

stamp "arm64 velmora-web and velmora-jukebox: native Chromium"
if /usr/bin/python3 web/tests/browser_board.py chromium "$bin/velmora-web" "$bin/velmora-jukebox" \
  >"$tree/web_chromium.log" 2>&1; then
  pass "arm64 velmora-web serves a native Chromium"
else
  cat "$tree/web_chromium.log"
  fail "arm64 velmora-web serves a native Chromium"
fi

stamp "Done"
echo "arm64: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
