#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The board following your desktop's media player (MPRIS): builds what is missing, starts
# velmora-jukebox --mpris on loopback and the board full screen ("/S"); the service stops when the
# board ends. Run it in your desktop session.
#   jukebox/mpris-board.sh [PLAYER]     (default: whichever plays; or vlc, mpv, firefox…)
# Further arguments after the player go to scripts/run-board.sh (for example --screenshot F.png).
exec "$(dirname "$0")/board-following.sh" --mpris "$@"
