#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The board and the jukebox service, both real, on loopback: the whole conversation, the heartbeat
# and the fallback saver within two ticks once the service dies (no click, no window but the
# board's), the board coming back to life when the service returns, and the end by mouse.
set -euo pipefail
board=$1
jukebox=$2
source "$(cd "$(dirname "$0")" && pwd)/wait_for.sh"

work=$(mktemp -d)
board_pid=
jukebox_pid=
xev_pid=
cleanup() {
    [ -n "$board_pid" ] && kill "$board_pid" 2>/dev/null || true
    [ -n "$jukebox_pid" ] && kill "$jukebox_pid" 2>/dev/null || true
    [ -n "$xev_pid" ] && kill "$xev_pid" 2>/dev/null || true
    wait 2>/dev/null || true
    if [ "${keep:-0}" = 1 ]; then echo "kept $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*"
    for f in "$work"/*.log; do echo "--- $f"; tail -n 40 "$f"; done
    keep=1
    exit 1
}

export HOME=$work XDG_CONFIG_HOME=$work/config XDG_CACHE_HOME=$work/cache XDG_RUNTIME_DIR=$work/run
mkdir -p "$XDG_CONFIG_HOME/velmora2000" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')

# A fallback saver whose name has a space and a shell character: it records how it was started.
saver="$work/fall back;saver.sh"
cat >"$saver" <<SAVER
#!/bin/sh
echo "\$*" >>"$work/fallback.log"
SAVER
chmod +x "$saver"

cat >"$XDG_CONFIG_HOME/velmora2000/Slinkx.ini" <<INI
[Service]
Host=127.0.0.1
Port=$port
INI
cat >"$XDG_CONFIG_HOME/velmora2000/Velmora2000.ini" <<INI
[Default_saver]
Name="fall back;saver.sh"
FullPath="$saver"
INI

start_jukebox() {  # transcript file
    "$jukebox" --demo --speed 20 --port "$port" --transcript "$1" >>"$work/jukebox.log" 2>&1 &
    jukebox_pid=$!
}

# The lines of a transcript without time stamps, connection numbers or time codes.
conversation() { sed -E 's/^[^ ]+ #[0-9]+ //' "$1" | grep -vE '^> MSG cdjr time\[|^\*'; }

# Every window mapped on the display, from before the board starts.
xev -root -event substructure >"$work/maps.log" 2>/dev/null &
xev_pid=$!
start_jukebox "$work/first.log"
wait_for 10 "$work/jukebox.log" 'listening' || fail "the jukebox service did not start"
"$board" /S >"$work/board.log" 2>&1 &
board_pid=$!

# 1. The start-up commands in order, then a whole playing -> pointer -> item chain.
wait_for 20 "$work/first.log" '> MSG cdjr playlist_item\[' || fail "no next-song look-up"
conversation "$work/first.log" | grep '^<' | head -n 6 | diff - <(printf '%s\n' \
    '< VELMORA-LINK 1' '< OPEN cdj type=devtx' '< OPEN cdjr type=devrx' \
    '< SEND cdj notify_playing_item[on]' '< SEND cdj notify_playing_timecode[on]' \
    '< SEND cdj echo[cdjon]') || fail "the start-up commands differ"
chain=$(conversation "$work/first.log" | grep -E 'playing\[|playlist_' | head -n 5)
echo "$chain" | sed -n 1p | grep -q '^> MSG cdjr playing\["' || fail "chain starts with: $chain"
echo "$chain" | sed -n 2p | grep -qx '< SEND cdj playlist_getpointer' || fail "no pointer request: $chain"
n=$(echo "$chain" | sed -n 3p | sed -nE 's/^> MSG cdjr playlist_pointer\[([0-9]+)\]$/\1/p')
[ -n "$n" ] || fail "no pointer answer: $chain"
echo "$chain" | sed -n 4p | grep -qx "< SEND cdj playlist_getitem\[$((n + 1))\]" ||
    fail "asked for the wrong entry after pointer $n: $chain"

# 2. The board shows it: the disc picture and the texts are drawn (not black).
sleep 0.5
import -window root "$work/board.png"
lit() { convert "$work/board.png" -crop "$1" -format '%[fx:mean]' info:; }
awk -v v="$(lit 200x200+540+420)" 'BEGIN { exit !(v > 0.05) }' || fail "no disc picture"
awk -v v="$(lit 700x40+290+80)" 'BEGIN { exit !(v > 0.01) }' || fail "no artist text"

# 3. A track change reaches the board too: a second playing message and a second look-up.
deadline=$((SECONDS + 40))
until [ "$(conversation "$work/first.log" | grep -c '^< SEND cdj playlist_getpointer$')" -ge 2 ]; do
    [ $SECONDS -lt $deadline ] || fail "no look-up after a track change"
    sleep 0.5
done

# 4. The heartbeat: every tick renews the answered echo, with nobody there to click anything.
until [ "$(grep -c '< SEND cdj echo\[cdjon\]$' "$work/first.log")" -ge 4 ]; do
    [ $SECONDS -lt $deadline ] || fail "the echo was not renewed at every tick"
    sleep 0.5
done

# 5. The service dies: within two ticks the fallback saver is launched, with "/S", through no shell.
kill "$jukebox_pid"
wait "$jukebox_pid" 2>/dev/null || true
jukebox_pid=
killed=$(date +%s%N)
wait_for 12 "$work/fallback.log" . || fail "the fallback saver was not launched within two ticks"
echo "fallback launched $(( ($(date +%s%N) - killed) / 1000000 )) ms after the service died"
[ "$(head -n 1 "$work/fallback.log")" = "/S" ] || fail "fallback started with: $(cat "$work/fallback.log")"

# No box or other window came up: the board's own full-screen window is the only one mapped.
mapped=$(sed -nE 's/^ +event 0x[0-9a-f]+, window (0x[0-9a-f]+),.*/\1/p' "$work/maps.log" | sort -u)
[ "$(echo "$mapped" | wc -w)" = 1 ] || fail "windows mapped: $mapped"
xwininfo -id "$mapped" | grep -q 'Width: 1280$' || fail "the one window mapped is not the board"

# 6. The service comes back: the board re-opens its endpoints, asks again and gets tracks.
start_jukebox "$work/second.log"
wait_for 40 "$work/second.log" '< SEND cdj playlist_getpointer' || fail "the board did not come back"
for line in '< OPEN cdj type=devtx' '< OPEN cdjr type=devrx' '< SEND cdj notify_playing_item\[on\]' \
    '< SEND cdj notify_playing_timecode\[on\]'; do
    grep -qE "$line" "$work/second.log" || fail "not restored: $line"
done

# 7. A mouse movement over the board's background ends it with the shutdown sequence.
deadline=$((SECONDS + 30))
while kill -0 "$board_pid" 2>/dev/null; do
    [ $SECONDS -lt $deadline ] || fail "the board did not end on mouse movement"
    xdotool mousemove 20 20 sleep 0.2 mousemove 30 25
    sleep 0.5
done
wait "$board_pid" && status=0 || status=$?
board_pid=
[ "$status" = 0 ] || fail "the board exited with $status"
wait_for 5 "$work/second.log" '< CLOSE cdjr' || fail "no shutdown sequence"
conversation "$work/second.log" | grep '^<' | tail -n 4 | diff - <(printf '%s\n' \
    '< SEND cdj notify_playing_item[off]' '< SEND cdj notify_playing_timecode[off]' \
    '< CLOSE cdj' '< CLOSE cdjr') || fail "the shutdown sequence differs"
echo "board conversation: 1 passed, 0 failed"
