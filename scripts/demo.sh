#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The board with a live jukebox: starts velmora-jukebox's demo disc changer on loopback, then the
# board full screen ("/S"); the service stops when the board ends. Arguments go to run-board.sh
# (for example --screenshot F.png).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
build="${VELMORA_BUILD_DIR:-build/default}"
cmake --preset default -B "$build" >/dev/null
cmake --build "$build" --target velmora2000 velmora-jukebox -j2

jukebox="$build/jukebox/velmora-jukebox"
"$jukebox" --demo &
jukebox_pid=$!
trap 'kill "$jukebox_pid" 2>/dev/null || true; wait "$jukebox_pid" 2>/dev/null || true' EXIT
sleep 0.3
kill -0 "$jukebox_pid" 2>/dev/null || { echo "velmora-jukebox did not start (is port 47321 in use?)"; exit 1; }

VELMORA_BUILD_DIR="$build" scripts/run-board.sh "$@"
