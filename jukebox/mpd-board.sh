#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The board following your MPD server: builds what is missing, starts velmora-jukebox --mpd on
# loopback and the board full screen ("/S"); the service stops when the board ends.
#   jukebox/mpd-board.sh [MPD address]     (default: MPD_HOST / MPD_PORT, else localhost:6600)
# Further arguments after the address go to scripts/run-board.sh (for example --screenshot F.png).
exec "$(dirname "$0")/board-following.sh" --mpd "$@"
