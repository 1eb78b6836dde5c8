#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# velmora-jukebox --mpris when its session bus goes away: the service stays, its boards keep their
# connections and see nothing playing; when a bus daemon is back at the same address the service
# opens it again and follows the player that plays there.
#   mpris_bus_lost.sh JUKEBOX
set -euo pipefail
jukebox=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/mpris_session.sh"  # pids, fail, pass, free_port, mpv_plugin; no session of its own
source "$here/wait_for.sh"        # until_true
source "$here/transcript_marks.sh"
work=$(mktemp -d)
export DBUS_SESSION_BUS_ADDRESS=unix:path=$work/bus XDG_CACHE_HOME=$work/cache

bus_start() {
    rm -f "$work/bus"
    dbus-daemon --session --nofork --address="$DBUS_SESSION_BUS_ADDRESS" >>"$work/dbus.log" 2>&1 &
    bus_pid=$!
    pids+=($bus_pid)
    until_true 30 test -S "$work/bus" || fail "the bus daemon did not start"
}
bus_start
port=$(free_port)
log=$work/bridge.log
start_jukebox --mpris
until_true 30 grep -q listening "$work/jukebox.log" || fail "the service did not start"
python3 "$here/link_board.py" "$port" >"$work/board.log" 2>&1 &
pids+=($!)
board_pid=$!
wait_for 10 '^> MSG cdjr playing\["","",""' || fail "the board was not told that nothing plays"

set_mark
kill "$bus_pid"
wait "$bus_pid" 2>/dev/null || true
until_true 10 grep -q "bus went away" "$work/jukebox.log" ||
    fail "the service did not notice that its bus went away"
sleep 1
kill -0 "$jukebox_pid" 2>/dev/null || fail "the service ended with the bus"
kill -0 "$board_pid" 2>/dev/null || fail "the board lost its connection"
python3 -c 'import socket, sys; socket.create_connection(("127.0.0.1", int(sys.argv[1])), 2)' \
    "$port" || fail "the service no longer listens: a ghost"
pass "the bus went away: the service stays and its boards keep their connections"

bus_start
until_true 20 grep -q "the session bus is back" "$work/jukebox.log" ||
    fail "the service did not open the bus again"
sox -q -n -b 16 -r 22050 -c 1 "$work/tone.wav" synth 30 sine 440 vol 0.1
oggenc -Q -a "The Lantern Choir" -l "Harbour Lights" -t "Paper Boats" -o "$work/01.ogg" "$work/tone.wav"
set_mark
mpv --no-config --script="$(mpv_plugin)" --no-video --ao=null --no-terminal "$work/01.ogg" \
    >"$work/mpv.log" 2>&1 &
pids+=($!)
wait_for 20 '^> MSG cdjr playing\["Harbour Lights","The Lantern Choir","Paper Boats"' ||
    fail "a player on the bus that came back was not followed"
grep -q '#1 > MSG cdjr playing\["Harbour Lights"' "$log" || fail "the board had to reconnect"
pass "the bus is back: the player on it reaches the same board"
echo "mpris bus lost: $passed passed, 0 failed"
