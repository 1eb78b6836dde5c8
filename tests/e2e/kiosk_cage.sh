#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The board as a kiosk under a real, headless cage, following the demo jukebox service: once the
# service has sent its track, the output shows the board (mostly black, light text centred at the
# top), a stored background colour reaches every edge of a portrait output, the unit's stop
# command ends the board with its shutdown lines and cage with status 0, and a crash of the board
# ends cage too: the unit then starts both again. With VELMORA_E2E_KEEP=1 the screenshots stay in
# the folder the script names.
#   kiosk_cage.sh BOARD JUKEBOX UNIT_FILE
set -euo pipefail
board=$(realpath "$1") jukebox=$(realpath "$2") unit=$(realpath "$3")
here=$(cd "$(dirname "$0")" && pwd)

# cage refuses to run as root.
source "$here/user_session.sh"
source "$here/wait_for.sh"
run_from_copies "$board" "$jukebox" "$unit"
start_session "$jukebox"

# cage 0.1.4 hands a full-screen client's buffer straight to the output, which screencopy on the
# headless backend reads back as black; a rotated output is composed, so every run here rotates
# (twice: the same landscape picture, upright in grim's screenshot).
cage_pid=
start_kiosk() {  # log name, cage options...
    local log=$1
    shift
    WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
        QT_QPA_PLATFORM=wayland cage "$@" -- "$board" --kiosk >"$work/$log.log" 2>&1 &
    cage_pid=$!
    pids+=($cage_pid)
    until_true 20 compgen -G "$XDG_RUNTIME_DIR/wayland-*[0-9]" || fail "cage did not start"
    export WAYLAND_DISPLAY=$(basename "$(compgen -G "$XDG_RUNTIME_DIR/wayland-*[0-9]")")
}
kiosk_board() { pgrep -f "^$board --kiosk" || true; }
cage_status=
cage_ends() {  # cage ends within 10 seconds: its status in cage_status
    until_true 10 eval '! kill -0 "$cage_pid"' || fail "cage still runs without its board"
    cage_status=0
    wait "$cage_pid" || cage_status=$?
    pids=("${pids[@]/$cage_pid/}")
}
size() { identify -format '%w %h' "$1"; }
# Share of pixels whose every channel is below 16 of 255.
black_share() { convert "$1" -separate -evaluate-sequence max -threshold 6.25% -format '%[fx:1-mean]' info:; }
# Bounding box (W H X Y) of the light pixels in the top fifth: the texts over the picture.
top_text_box() {
    local w h
    read -r w h <<<"$(size "$1")"
    convert "$1" -crop "${w}x$((h / 5))+0+0" +repage -colorspace gray -threshold 50% \
        -format '%@' info: | tr 'x+' '  '
}
# Mean red, green, blue and their standard deviation along one edge.
edge() { convert "$1" -crop "$2" +repage -format '%[fx:mean.r] %[fx:mean.g] %[fx:mean.b] %[fx:standard_deviation]' info:; }
transcript_lines() { grep -c "$1" "$work/transcript.log" || true; }
shutdown_lines() { transcript_lines '< CLOSE cdjr$'; }

# The board under cage, on a 1280 x 720 output.
start_kiosk landscape -r -r
wait_for 20 "$work/transcript.log" '> MSG cdjr playlist_item' || fail "the board was not fed"
lit() { convert "$1" -crop "$2" +repage -colorspace gray -threshold 50% -format '%[fx:mean]' info:; }
text_drawn() {
    grim "$work/probe.png" && awk -v v="$(lit "$work/probe.png" 1280x144+0+0)" 'BEGIN { exit !(v > 0.005) }'
}
until_true 20 text_drawn || fail "no text on the screen"
sleep 1.5  # the next song and the picture
grim "$work/kiosk.png"
[ "$(size "$work/kiosk.png")" = "1280 720" ] || fail "the screenshot is $(size "$work/kiosk.png")"
black=$(black_share "$work/kiosk.png")
awk -v b="$black" 'BEGIN { exit !(b > 0.6 && b < 0.99) }' || fail "black share $black (kiosk.png)"
read -r tw th tx ty <<<"$(top_text_box "$work/kiosk.png")"
centre_off=$((tx + tw / 2 - 640))
((${centre_off#-} < 26 && tw > 100 && tw < 768)) ||
    fail "top texts ${tw}x$th at $tx,$ty: not centred light text (kiosk.png)"
[ -n "$(kiosk_board)" ] || fail "the board is gone"

# A crash: cage ends with it, so the unit's Restart= starts the kiosk again.
kill -KILL "$(kiosk_board)"
cage_ends
echo "kiosk_cage: cage ended with status $cage_status after its board was killed"

# A stored background colour, on a portrait output (cage -r): the board covers all of it.
printf '[Default_color]\nBackground=3145824\n' >"$XDG_CONFIG_HOME/velmora2000/Velmora2000.ini"
rm -f "$XDG_RUNTIME_DIR"/wayland-*
closed_before=$(shutdown_lines)
start_kiosk portrait -r
until_true 20 eval '[ "$(transcript_lines "< VELMORA-LINK")" = 2 ]' || fail "the second board did not connect"
# #600030 is (0.376, 0, 0.188): every edge has it and nothing else.
edges_covered() {
    grim "$work/portrait.png" || return 1
    [ "$(size "$work/portrait.png")" = "720 1280" ] || return 1
    local strip r g b sd
    for strip in 720x1+0+0 720x1+0+1279 1x1280+0+0 1x1280+719+0; do
        read -r r g b sd <<<"$(edge "$work/portrait.png" "$strip")"
        awk -v r="$r" -v g="$g" -v b="$b" -v sd="$sd" \
            'BEGIN { exit !(r > 0.36 && r < 0.39 && g < 0.01 && b > 0.17 && b < 0.2 && sd < 0.005) }' ||
            { echo "edge $strip is $r $g $b (sd $sd)"; return 1; }
    done
}
until_true 10 edges_covered || fail "the portrait output is not covered: $(edges_covered) (portrait.png)"

# "systemctl stop", as the unit does it (its ExecStop, "$$" being "$" to systemd): the board says
# goodbye to the service and ends, and cage with it, cleanly.
stop=$(sed -nE 's/^ExecStop=-?//p' "$unit" | sed 's/\$\$/$/g')
[ -n "$stop" ] || fail "the unit has no ExecStop"
env MAINPID="$cage_pid" bash -c "$stop" || fail "the unit's ExecStop failed"
kill -0 "$cage_pid" 2>/dev/null && fail "cage still runs after the unit's ExecStop"
cage_ends
[ "$cage_status" = 0 ] || fail "cage ended with $cage_status after the unit's ExecStop"
until_true 10 eval '[ "$(shutdown_lines)" = $((closed_before + 1)) ]' ||
    fail "no shutdown lines from the board after the unit's ExecStop"

echo "kiosk_cage: black share $black, top texts ${tw}x$th+$tx+$ty (centre ${centre_off} px off)"
echo "kiosk_cage: 1 passed, 0 failed"
