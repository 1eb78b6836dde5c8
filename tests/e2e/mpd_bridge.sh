#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# velmora-jukebox --mpd between a real MPD (started here, its own music folder, null output,
# loopback) and a real board on Xvfb, driven with mpc: what MPD plays reaches the board with its
# cover and its tags beyond ASCII; "Next Up:" is MPD's next song with random off and on; pause,
# seek, next, stop and queue edits reach the board; MPD killed and started again, the board
# follows it again with nothing else restarted.
#   mpd_bridge.sh BOARD JUKEBOX        (JUKEBOX may be a command: "wine velmora-jukebox.exe")
# With BOARD "-" a small board stand-in (link_board.py) takes the board's place.
set -euo pipefail
board=$1
jukebox=$2
here=$(cd "$(dirname "$0")" && pwd)
source "$here/mpd_server.sh"

work=$(mktemp -d)
board_pid=
jukebox_pid=
cleanup() {
    [ -n "$board_pid" ] && kill "$board_pid" 2>/dev/null || true
    if [ -n "$jukebox_pid" ]; then
        kill "$jukebox_pid" 2>/dev/null || true
        for _ in $(seq 50); do kill -0 "$jukebox_pid" 2>/dev/null || break; sleep 0.1; done
        kill -9 "$jukebox_pid" 2>/dev/null || true
    fi
    mpd_stop
    wait 2>/dev/null || true
    if [ "${keep:-0}" = 1 ]; then echo "kept $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT
passed=0
fail() {
    echo "FAIL: $*"
    for f in "$work"/*.log "$work/mpd/log"; do echo "--- $f"; tail -n 30 "$f"; done
    keep=1
    exit 1
}
pass() { passed=$((passed + 1)); echo "PASS $*"; }

export HOME=$work XDG_CONFIG_HOME=$work/config XDG_CACHE_HOME=$work/cache XDG_RUNTIME_DIR=$work/run
mkdir -p "$XDG_CONFIG_HOME/velmora2000" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
log=$work/bridge.log

mpd_start "$work"
mpc -q add /
mpc -q play
covers=$work/covers
extra=()
# Under Wine the bridge names files in Windows form; the board here opens them by their Linux path.
case $jukebox in wine\ *) extra=(--cover-path-as "$covers/") ;; esac
$jukebox --mpd --port "$port" --cover-dir "$covers" "${extra[@]}" --transcript "$log" \
    >"$work/jukebox.log" 2>&1 &
jukebox_pid=$!

if [ "$board" = - ]; then
    for _ in $(seq 100); do grep -q listening "$work/jukebox.log" && break; sleep 0.2; done
    python3 "$here/link_board.py" "$port" >"$work/board.log" 2>&1 &
else
    printf '[Service]\nHost=127.0.0.1\nPort=%s\n' "$port" >"$XDG_CONFIG_HOME/velmora2000/Slinkx.ini"
    "$board" /S >"$work/board.log" 2>&1 &
fi
board_pid=$!

source "$here/transcript_marks.sh"
# What the board should show as next title: MPD's queued song, its quotes as the board gets them.
queued_title() {
    local title
    title=$(mpc queued -f '[%title%]|[%file%]')
    [ -n "$title" ] || { echo " "; return; }
    case $title in */*) title=${title##*/} ;; esac
    python3 -c 'import sys,re
t = sys.argv[1]
print(re.sub(r"(^|(?<=[ (\[{]))\"", "\u201c", t).replace("\"", "\u201d"))' "$title"
}
# The next song the board was told about after the last change (field 3 of playlist_item).
check_next_up() {  # what
    wait_for 10 '^< SEND cdj playlist_getitem' || fail "$1: the board asked for no next song"
    wait_for 10 '^> MSG cdjr playlist_item\[' || fail "$1: no next song answered"
    local told expected
    told=$(last_fields playlist_item | sed -n 4p)
    # The end marker blanks the block: the board writes a single space as the title.
    [ "$(last_fields playlist_item | sed -n 8p)" = 0 ] && told=" "
    expected=$(queued_title)
    [ "$told" = "$expected" ] || fail "$1: Next Up is '$told', MPD plays '$expected' next"
}

# 1. What MPD plays, its tags intact, its cover (from the FLAC's own picture) on the board.
wait_for 20 '^> MSG cdjr playing\["Ærø Café","Sigur Ærøskøbing","Über “Café” 東京","1:30","[^"]+\.png"' ||
    fail "the playing song did not reach the board with its cover"
picture=$(last_fields playing | sed -n 5p)
[ "$(head -c 4 "$picture" | od -An -c | tr -d ' ')" = '211PNG' ] || fail "cover $picture is not the PNG"
check_next_up "start"
if [ "$board" != - ]; then
    # The docs show the board as it stays after 30 s of running.
    if [ -n "${VELMORA_SCREENSHOTS:-}" ]; then sleep 30; else sleep 1; fi
    import -window root "$work/board.png"
    # The embedded cover is a red square (its top left corner).
    rgb=$(convert "$work/board.png" -crop 80x80+400+300 -scale 1x1 -format '%[fx:r] %[fx:g]' info:)
    awk -v r="${rgb% *}" -v g="${rgb#* }" 'BEGIN { exit !(r > 0.5 && g < 0.4) }' ||
        fail "the board does not show the cover (mean red/green $rgb)"
    [ -n "${VELMORA_SCREENSHOTS:-}" ] && cp "$work/board.png" "$VELMORA_SCREENSHOTS/board-mpd.png"
fi
pass "the board shows what MPD plays, with its cover, tags beyond ASCII intact"

# 2. Next, with random off and on: "Next Up:" is the song MPD will play next.
set_mark
mpc -q next
wait_for 10 '^> MSG cdjr playing\["Harbour Lights","The Lantern Choir","Paper Boats","1:30","[^"]*cover|[^"]+\.jpg"' ||
    fail "next: the board did not get the next song with the folder's cover.jpg"
check_next_up "next"
mpc -q random on
mpc -q repeat on  # so that there always is a next song
for round in 1 2 3; do
    set_mark
    mpc -q next
    wait_for 10 "^> MSG cdjr playing\\[.*\",\"$(mpc current -f '%position%')\",\"1\"\\]" ||
        fail "random: the board did not get the song MPD plays"
    check_next_up "random, round $round"
done
mpc -q random off
mpc -q repeat off
pass "Next Up follows MPD's next song with random off and on"

# 3. Pause keeps the time still, seek moves it, queue edits change Next Up, stop blanks it.
mpc -q stop  # so that "play 1" is a change even when song 1 plays already
wait_for 10 '^> MSG cdjr playing\["","","",' || fail "stop: the board still shows a song"
set_mark
mpc -q play 1
wait_for 10 '^> MSG cdjr playing\[.*","1","1"\]' || fail "play 1: the board did not follow"
set_mark
mpc -q pause
sleep 2.5
[ "$(since_mark | grep -cE '^> MSG cdjr time\[')" -le 1 ] || fail "pause: time messages go on"
set_mark
mpc -q seek 20
wait_for 5 '^> MSG cdjr time\[0:2[0-9]\]' || fail "seek: the new time did not arrive"
mpc -q play
set_mark
mpc -q del 2
check_next_up "queue edit (the next song removed)"
set_mark
mpc -q insert "loose/untagged tone.flac"
check_next_up "queue edit (a song inserted next)"
set_mark
mpc -q play "$(mpc playlist | wc -l)"
check_next_up "the last song (nothing after it)"
set_mark
mpc -q stop
wait_for 5 '^> MSG cdjr playing\["","","","","",' || fail "stop: the board still shows a song"
wait_for 5 '^> MSG cdjr time\[\]' || fail "stop: the elapsed time was not cleared"
pass "pause, seek, a queue edit and stop reach the board"

# 4. MPD killed and started again, with an empty queue; the board follows the new one.
mpc -q play
set_mark
mpd_stop
wait_for 10 '^> MSG cdjr playing\["","","","",' || fail "MPD gone: the board still shows a song"
sleep 3
mpd_start "$work"
mpc -q add "Harbour Lights"
mpc -q play 2
wait_for 30 '^> MSG cdjr playing\["Harbour Lights","The Lantern Choir","Copper Wire"' ||
    fail "MPD back: the board did not follow it"
check_next_up "MPD back"
kill -0 "$jukebox_pid" || fail "the bridge ended"
[ "$(grep -c '\* connected from' "$log")" = 1 ] || fail "the board had to reconnect"
pass "MPD killed and restarted: the board follows it again"

# The board ends as usual (a real board only).
if [ "$board" != - ]; then
    deadline=$((SECONDS + 30))
    while kill -0 "$board_pid" 2>/dev/null; do
        [ $SECONDS -lt $deadline ] || fail "the board did not end on mouse movement"
        xdotool mousemove 20 20 sleep 0.2 mousemove 30 25
        sleep 0.5
    done
    board_pid=
fi
echo "mpd bridge: $passed passed, 0 failed"
