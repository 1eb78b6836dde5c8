#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The board following a music source: builds what is missing, starts velmora-jukebox with the
# source's option on loopback and the board full screen ("/S"); the service stops when the board
# ends. mpd-board.sh and mpris-board.sh call it.
#   jukebox/board-following.sh (--mpd | --mpris) [VALUE] [scripts/run-board.sh arguments]
set -euo pipefail
cd "$(dirname "$0")/../.."

source=("$1")
shift
if [ $# -gt 0 ] && [ "${1#-}" = "$1" ]; then source+=("$1"); shift; fi

scripts/deps.sh
build="${VELMORA_BUILD_DIR:-build/default}"
cmake --preset default -B "$build" >/dev/null
cmake --build "$build" --target velmora2000 velmora-jukebox -j2

"$build/jukebox/velmora-jukebox" "${source[@]}" &
jukebox_pid=$!
trap 'kill "$jukebox_pid" 2>/dev/null || true; wait "$jukebox_pid" 2>/dev/null || true' EXIT
sleep 0.3
kill -0 "$jukebox_pid" 2>/dev/null || { echo "velmora-jukebox did not start (see above)"; exit 1; }

VELMORA_BUILD_DIR="$build" scripts/run-board.sh "$@"
