#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# velmora-idle under a real, headless sway with the real board and jukebox service: two idle
# seconds start one full-screen board showing the jukebox's track, a pointer move ends it with its
# shutdown lines, idle starts exactly one board again, and a key press ends it through
# velmora-idle; the board with "--kiosk" stays under the same pointer moves. Prints, per round,
# the ms from the idle threshold reached (two seconds after the last move) to the artist drawn and
# from the move to the board gone (VELMORA_SWAY_RUNS rounds, 1 unless set). With
# VELMORA_SWAY_WAIT_S set, it then also measures velmora-idle waiting that long: CPU ticks and
# resident memory.
#   sway_idle.sh BOARD JUKEBOX IDLE VIRTUAL-POINTER
set -euo pipefail
board=$(realpath "$1") jukebox=$(realpath "$2") idle=$(realpath "$3") pointer=$(realpath "$4")
here=$(cd "$(dirname "$0")" && pwd)
runs=${VELMORA_SWAY_RUNS:-1}

# Sway refuses to run as root.
source "$here/user_session.sh"
source "$here/wait_for.sh"
run_from_copies "$board" "$jukebox" "$idle" "$pointer"
start_session "$jukebox"
ms() { date +%s%3N; }

# No rules for the board: it asks for full screen itself.
echo 'output HEADLESS-1 resolution 1280x1024' >"$work/sway.conf"
WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
    sway -c "$work/sway.conf" >"$work/sway.log" 2>&1 &
pids+=($!)
until_true 20 compgen -G "$XDG_RUNTIME_DIR/sway-ipc.*" || fail "sway did not start"
export SWAYSOCK=$(compgen -G "$XDG_RUNTIME_DIR/sway-ipc.*")
export WAYLAND_DISPLAY=$(basename "$(compgen -G "$XDG_RUNTIME_DIR/wayland-*[0-9]")")
until_true 10 swaymsg -t get_version || fail "sway does not answer"

"$idle" --after-seconds 2 >"$work/idle.log" 2>&1 &
idle_pid=$!
pids+=($idle_pid)

# The board's yellow texts, told from sway's grey desktop: red well above blue.
lit() { convert "$1" -crop "$2" -format '%[fx:mean.r - mean.b]' info:; }
# "The Lantern Choir", the artist, at 1280 x 1024.
artist_drawn() { grim -g "390,92 500x50" "$work/probe.png" && awk -v v="$(lit "$work/probe.png" 500x50+0+0)" 'BEGIN { exit !(v > 0.02) }'; }
artist_gone() { ! artist_drawn; }
# Every board velmora-idle started has ended, as it saw.
all_ended() { [ "$(count 'ended with status 0' "$work/idle.log")" = "$(count 'starting' "$work/idle.log")" ]; }
board_lines() { sed -nE "s/^[^ ]+ #$1 (< .*)\$/\\1/p" "$work/transcript.log"; }
shutdown=$(printf '%s\n' '< SEND cdj notify_playing_item[off]' \
    '< SEND cdj notify_playing_timecode[off]' '< CLOSE cdj' '< CLOSE cdjr')
full_screen() {  # the board's window: full screen, the whole output
    swaymsg -t get_tree | python3 -c 'import json, sys
def walk(n):
    for c in n.get("nodes", []) + n.get("floating_nodes", []):
        yield c
        yield from walk(c)
views = [n for n in walk(json.load(sys.stdin)) if n.get("app_id") == "velmora2000"]
r = views[0]["rect"] if len(views) == 1 else {}
sys.exit(not (views and views[0]["fullscreen_mode"] == 1 and (r["width"], r["height"]) == (1280, 1024)))'
}

shown=() gone=()
for run in $(seq "$runs"); do
    # The board comes after two idle seconds, alone, full screen, with the jukebox's track.
    until_true 20 grep -c 'the session is idle' "$work/idle.log" ||
        fail "round $run: velmora-idle saw no idle session"
    until_true 20 artist_drawn || fail "round $run: the board's texts were not drawn"
    until_true 10 full_screen || fail "round $run: the board is not full screen: $(swaymsg -t get_tree)"
    if [ "$run" = 1 ]; then
        wait_for 10 "$work/transcript.log" '> MSG cdjr playlist_item' || fail "no next song"
        sleep 0.3
        grim "$work/board.png"
        awk -v v="$(lit "$work/board.png" 400x40+440+850)" 'BEGIN { exit !(v > 0.02) }' ||
            fail "no next artist on the board (board.png)"
        # A second board in the same session ends at once, quietly.
        timeout 10 "$board" /S >"$work/second.log" 2>&1 || fail "a second board failed"
        grep -q 'a board already shows' "$work/second.log" || fail "a second board showed"
    fi
    [ "$(boards)" = 1 ] || fail "round $run: $(boards) boards"

    # The user moves the mouse: the board ends with its shutdown lines.
    "$pointer" 1280 1024 200 700 >"$work/moved" &
    until_true 10 boards_are 0 || fail "round $run: the pointer move did not end the board"
    gone+=($(($(ms) - $(head -n 1 "$work/moved"))))
    wait $!
    until_true 10 all_closed || fail "round $run: no shutdown lines"
    until_true 2 artist_gone || fail "round $run: the board is still on the screen"

    # Idle again, two seconds after the move: exactly one board again, and it stays one past
    # another idle threshold.
    until_true 20 artist_drawn || fail "round $run: the second board's texts were not drawn"
    shown+=($(($(ms) - $(tail -n 1 "$work/moved") - 2000)))
    [ "$(boards)" = 1 ] || fail "round $run: $(boards) boards after idle again"
    sleep 2.5
    [ "$(boards)" = 1 ] || fail "round $run: $(boards) boards after a second idle"

    # A key, which the board ignores: velmora-idle ends it.
    wtype -k space
    until_true 10 boards_are 0 || fail "round $run: a key press did not end the board"
    until_true 10 all_closed || fail "round $run: no shutdown lines after the key press"
    until_true 10 all_ended || fail "round $run: velmora-idle did not see the board end"
done

for c in $(sed -nE 's/^[^ ]+ #([0-9]+) < VELMORA-LINK.*/\1/p' "$work/transcript.log"); do
    [ "$(board_lines "$c" | tail -n 4)" = "$shutdown" ] || fail "board #$c ended with other lines"
done
kill -TERM "$idle_pid"
status=0
wait "$idle_pid" || status=$?
[ "$status" = 0 ] || fail "velmora-idle exited with $status after SIGTERM"

# Started by hand, the board keeps the compositor from going idle while it shows, and its own
# mouse rule ends it: a first position, then a real move.
"$board" /S >"$work/by-hand.log" 2>&1 &
by_hand=$!
pids+=($by_hand)
until_true 10 full_screen || fail "the board started by hand is not full screen"
swaymsg -t get_tree | grep -q '"inhibit_idle": true' || fail "the board does not inhibit idle"
"$pointer" 1280 1024 100 300 100 300 >/dev/null  # the black background
until_true 2 boards_are 0 && fail "the first position seen ended the board"
"$pointer" 1280 1024 101 300 >/dev/null
until_true 10 boards_are 0 || fail "a real move did not end the board"
wait "$by_hand" || fail "the board started by hand exited with $?"
until_true 10 all_closed || fail "no shutdown lines from the board started by hand"

# "--kiosk": the same first position and real moves end nothing; a signal ends it with its goodbye.
"$board" --kiosk >"$work/kiosk.log" 2>&1 &
kiosk=$!
pids+=($kiosk)
until_true 10 full_screen || fail "the kiosk board is not full screen"
"$pointer" 1280 1024 100 300 100 300 101 300 700 900 >/dev/null
until_true 2 eval '! kill -0 "$kiosk"' && fail "a pointer move ended the kiosk board"
full_screen || fail "the kiosk board left the screen after the pointer moves"
kill -TERM "$kiosk"
wait "$kiosk" || fail "the kiosk board exited with $? after SIGTERM"
until_true 10 all_closed || fail "no shutdown lines from the kiosk board"

# velmora-idle waiting, the desktop in use: user + system ticks of /proc/PID/stat, VmRSS.
if [ -n "${VELMORA_SWAY_WAIT_S:-}" ]; then
    "$idle" --after 60 >"$work/waiting.log" 2>&1 &
    waiting=$!
    pids+=($waiting)
    until_true 5 grep -q watching "$work/waiting.log" || fail "velmora-idle did not start"
    ticks() { awk '{ print $14 + $15 }' "/proc/$waiting/stat"; }
    before=$(ticks)
    sleep "$VELMORA_SWAY_WAIT_S"
    echo "velmora-idle waiting ${VELMORA_SWAY_WAIT_S} s: $(($(ticks) - before)) ticks of CPU," \
        "$(awk '/VmRSS/ { print $2, $3 }' "/proc/$waiting/status") resident"
fi

median() { local s=($(printf '%s\n' "$@" | sort -n)); echo $(((s[($# - 1) / 2] + s[$# / 2]) / 2)); }
echo "idle threshold reached to the artist drawn, ms: ${shown[*]}; median $(median "${shown[@]}")"
echo "pointer moved to the board gone, ms: ${gone[*]}; median $(median "${gone[@]}")"
echo "sway_idle: 1 passed, 0 failed"
