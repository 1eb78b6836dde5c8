#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The board following your MPD server: builds what is missing, starts velmora-jukebox --mpd on
# loopback and the board full screen ("/S"); the service stops when the board ends.
#   tools/jukebox/mpd-board.sh [MPD address]     (default: MPD_HOST / MPD_PORT, else localhost:6600)
# Further arguments after the address go to scripts/run-board.sh (for example --screenshot F.png).
set -euo pipefail
cd "$(dirname "$0")/../.."

address=()
if [ $# -gt 0 ] && [ "${1#-}" = "$1" ]; then address=("$1"); shift; fi

scripts/deps.sh
build="${VELMORA_BUILD_DIR:-build/default}"
cmake --preset default -B "$build" >/dev/null
cmake --build "$build" --target velmora2000 velmora-jukebox -j2

"$build/tools/jukebox/velmora-jukebox" --mpd "${address[@]}" &
jukebox_pid=$!
trap 'kill "$jukebox_pid" 2>/dev/null || true; wait "$jukebox_pid" 2>/dev/null || true' EXIT
sleep 0.3
kill -0 "$jukebox_pid" 2>/dev/null || { echo "velmora-jukebox did not start (is port 47321 in use?)"; exit 1; }

VELMORA_BUILD_DIR="$build" scripts/run-board.sh "$@"
