#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# velmora-jukebox --mpris between real mpv players (with the mpv-mpris plugin, null audio, on a
# session bus of the test's own) and a real board on Xvfb: what mpv plays reaches the board with
# its folder's cover; next, seek, pause and stop called on the player's MPRIS interface reach the
# board; a second player that starts is followed, and when it quits the first one is again; the
# last player quits and the board shows nothing playing.
#   mpris_bridge.sh BOARD JUKEBOX
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/mpris_session.sh"
in_own_session "$@"
board=$1
jukebox=$2
source "$here/mpd_server.sh"  # mpd_make_music
source "$here/transcript_marks.sh"

plugin=$(mpv_plugin)
work=$(mktemp -d)

export HOME=$work XDG_CONFIG_HOME=$work/config XDG_CACHE_HOME=$work/cache XDG_RUNTIME_DIR=$work/run
mkdir -p "$XDG_CONFIG_HOME/velmora2000" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
port=$(free_port)
log=$work/bridge.log
music=$work/music
mpd_make_music "$music"

# The service first: the players are found as they come.
start_jukebox --mpris
printf '[Service]\nHost=127.0.0.1\nPort=%s\n' "$port" >"$XDG_CONFIG_HOME/velmora2000/Slinkx.ini"
"$board" /S >"$work/board.log" 2>&1 &
pids+=($!)
board_pid=$!

mpv_start() {  # log name, files...
    local name=$1
    shift
    mpv --no-config --script="$plugin" --no-video --ao=null --no-terminal "$@" \
        >"$work/$name.log" 2>&1 &
    pids+=($!)
}
# Calls a method of the player's MPRIS interface: bus name, method, arguments as busctl takes them.
player() {
    local name=$1 method=$2
    shift 2
    busctl --user call "$name" /org/mpris/MediaPlayer2 org.mpris.MediaPlayer2.Player "$method" "$@"
}
# The mpv bus name of a process, asked of the bus itself: "busctl list" leaves its PID column
# empty in a chroot.
owner_of() {
    local name
    local dbus=(busctl --user call org.freedesktop.DBus /org/freedesktop/DBus org.freedesktop.DBus)
    for name in $("${dbus[@]}" ListNames | grep -o '"org\.mpris\.MediaPlayer2\.mpv[^"]*"' | tr -d '"'); do
        [ "$("${dbus[@]}" GetConnectionUnixProcessID s "$name")" = "u $1" ] && echo "$name" && return
    done
    return 0
}

wait_for 10 '\* connected from' || fail "the board did not connect"

# 1. What mpv plays, with its folder's cover, on the board; mpv has no track list: Next Up blank.
set_mark
# It stays when stopped (--idle), as a desktop player does.
mpv_start first --idle=yes "$music/Harbour Lights/01.ogg" "$music/Harbour Lights/02.ogg"
first_pid=$!
wait_for 20 '^> MSG cdjr playing\["Harbour Lights","The Lantern Choir","Paper Boats","1:30","[^"]+\.jpg","1","1"\]' ||
    fail "the playing track did not reach the board with its cover"
picture=$(last_fields playing | sed -n 5p)
[ "$(head -c 3 "$picture" | od -An -tx1 | tr -d ' ')" = ffd8ff ] || fail "cover $picture is no JPEG"
wait_for 10 '^> MSG cdjr playlist_item\["2",""," ","","","","","0"\]' ||
    fail "Next Up was not blanked for a player without a track list"
wait_for 10 '^> MSG cdjr time\[0:01\]' || fail "no time while playing"
sleep 1
import -window root "$work/board.png"
rgb=$(convert "$work/board.png" -crop 80x80+400+300 -scale 1x1 -format '%[fx:r] %[fx:b]' info:)
awk -v r="${rgb% *}" -v b="${rgb#* }" 'BEGIN { exit !(b > 0.5 && r < 0.3) }' ||
    fail "the board does not show the cover (mean red/blue $rgb)"
[ -n "${VELMORA_SCREENSHOTS:-}" ] && cp "$work/board.png" "$VELMORA_SCREENSHOTS/board-mpris.png"
pass "the board shows what mpv plays, with its cover, and no Next Up"

first=$(owner_of "$first_pid")
[ -n "$first" ] || fail "mpv is not on the bus"

# 2. Next, seek, pause, play, stop.
set_mark
player "$first" Next
wait_for 10 '^> MSG cdjr playing\["Harbour Lights","The Lantern Choir","Copper Wire","1:30"' ||
    fail "next: the board did not get the next track"
set_mark
player "$first" Seek x 40000000
wait_for 5 '^> MSG cdjr time\[0:4[0-9]\]' || fail "seek: the new time did not arrive"
player "$first" Pause
set_mark
sleep 2.5
[ "$(since_mark | grep -cE '^> MSG cdjr time\[')" -le 1 ] || fail "pause: time messages go on"
set_mark
player "$first" Play
wait_for 5 '^> MSG cdjr time\[0:4[0-9]\]' || fail "play: the time did not go on from the pause"
set_mark
player "$first" Stop
wait_for 5 '^> MSG cdjr playing\["","","","","",' || fail "stop: the board still shows a track"
wait_for 5 '^> MSG cdjr time\[\]' || fail "stop: the elapsed time was not cleared"
pass "next, seek, pause and stop reach the board"

# 3. A second player that starts is followed; when it quits, the first one (playing) again.
kill "$first_pid"
set_mark
mpv_start first "$music/Harbour Lights/01.ogg"
first_pid=$!
wait_for 20 '^> MSG cdjr playing\["Harbour Lights","The Lantern Choir","Paper Boats"' ||
    fail "a new player: not followed"
set_mark
mpv_start second "$music/Aero/01.flac"
second_pid=$!
wait_for 20 '^> MSG cdjr playing\["Ærø Café","Sigur Ærøskøbing","Über “Café” 東京","1:30"' ||
    fail "the second player was not followed"
set_mark
kill "$second_pid"
wait_for 10 '^> MSG cdjr playing\["Harbour Lights","The Lantern Choir",' ||
    fail "the second player quit: the board did not go back to the first"
pass "a second player is followed, and the first again when it quits"

# 4. The last player quits mid-track: nothing plays.
set_mark
kill "$first_pid"
wait_for 10 '^> MSG cdjr playing\["","","","","",' || fail "player gone: the board still shows a track"
wait_for 5 '^> MSG cdjr time\[\]' || fail "player gone: the elapsed time was not cleared"
kill -0 "$jukebox_pid" || fail "the bridge ended"
[ "$(grep -c '\* connected from' "$log")" = 1 ] || fail "the board had to reconnect"
pass "the player quits: the board shows nothing playing"

deadline=$((SECONDS + 30))
while kill -0 "$board_pid" 2>/dev/null; do
    [ $SECONDS -lt $deadline ] || fail "the board did not end on mouse movement"
    xdotool mousemove 20 20 sleep 0.2 mousemove 30 25
    sleep 0.5
done
echo "mpris bridge: $passed passed, 0 failed"
