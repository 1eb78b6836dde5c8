#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# MPD `next` -> the page's DOM shows the new title, beside a board's link receiving the "playing"
# message, in the same run (a private MPD with generated music; velmora-jukebox --mpd; velmora-web;
# Chromium). Figures, not a test.
#
#   next_to_page.sh VELMORA_WEB VELMORA_JUKEBOX [ROUNDS]
set -euo pipefail
web=$(realpath "$1")
jukebox=$(realpath "$2")
rounds=${3:-30}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'mpd_stop; kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
source "$here/../../tests/e2e/mpd_server.sh"
mpd_start "$work"
mpc -q add /
mpc -q repeat on
mpc -q play
/usr/bin/python3 "$here/next_to_page.py" "$web" "$jukebox" "$rounds"
