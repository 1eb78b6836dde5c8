#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# velmora-idle on KDE Plasma's compositor: a real, headless KWin (--virtual), watched through
# ext_idle_notifier_v1. One idle second starts one board with the jukebox's track, a pointer move
# ends it with its shutdown lines, idle starts it again, a key ends it through velmora-idle, and
# stopping velmora-idle ends the board that shows. Input comes through KWin's fake-input protocol.
#   kwin_idle.sh BOARD JUKEBOX IDLE FAKE-INPUT
set -euo pipefail
board=$(realpath "$1") jukebox=$(realpath "$2") idle=$(realpath "$3") input=$(realpath "$4")
here=$(cd "$(dirname "$0")" && pwd)
source "$here/user_session.sh"
source "$here/wait_for.sh"
# Debian gives kwin_wayland a file capability, which a container that may not grant it refuses
# to run; the copy made with the test's programs has none (the fifth argument once copied).
kwin=${5:-$(command -v kwin_wayland)}
run_from_copies "$board" "$jukebox" "$idle" "$input" "$kwin"
start_session "$jukebox"

KWIN_WAYLAND_NO_PERMISSION_CHECKS=1 "$kwin" --virtual --width 1280 --height 1024 \
    --socket wayland-kwin --no-lockscreen --no-global-shortcuts --no-kactivities \
    >"$work/kwin.log" 2>&1 &
pids+=($!)
until_true 20 test -S "$XDG_RUNTIME_DIR/wayland-kwin" || fail "KWin did not start"
export WAYLAND_DISPLAY=wayland-kwin

"$idle" --after-seconds 1 >"$work/idle.log" 2>&1 &
idle_pid=$!
pids+=($idle_pid)
until_true 10 grep -q 'watching ext_idle_notifier_v1 on wayland-kwin' "$work/idle.log" ||
    fail "velmora-idle does not watch KWin's ext_idle_notifier_v1"

for round in 1 2 3; do
    until_true 20 boards_are 1 || fail "round $round: no board after an idle second"
    wait_for 20 "$work/transcript.log" "#$round > MSG cdjr playlist_item" ||
        fail "round $round: the board did not get its track"
    sleep 1.5
    boards_are 1 || fail "round $round: not exactly one board after another idle threshold"
    case $round in
    1) "$input" move 40 30 ;;
    2) "$input" key 57 ;;  # space, which the board ignores: velmora-idle ends it
    3) break ;;
    esac
    until_true 10 boards_are 0 || fail "round $round: the user's input did not end the board"
    until_true 10 all_closed || fail "round $round: no shutdown lines"
done
[ "$(count 'the user is back' "$work/idle.log")" = 2 ] || fail "velmora-idle did not hear the input"

# Stopping velmora-idle ends the board that shows, with its shutdown lines.
kill -TERM "$idle_pid"
status=0
wait "$idle_pid" || status=$?
[ "$status" = 0 ] || fail "velmora-idle exited with $status after SIGTERM"
boards_are 0 || fail "the board outlived velmora-idle"
until_true 10 all_closed || fail "no shutdown lines when velmora-idle stopped"
[ "$(count 'the board ended with status 0' "$work/idle.log")" = 3 ] || fail "a board did not end cleanly"
echo "kwin_idle: 1 passed, 0 failed"
