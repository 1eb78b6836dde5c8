#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# velmora-jukebox --mpris as the system service runs it: no session bus, a private system bus of the
# test's own (named in DBUS_SYSTEM_BUS_ADDRESS, with Debian's own policy for shairport-sync) and
# Debian's real shairport-sync publishing MPRIS there. The service finds and follows it: with no
# AirPlay sender nothing plays; a sender stand-in (airplay_sender.py) sends it a track's tags, which
# reach a board stand-in. A player that plays on the same bus (mpv with its MPRIS plugin) is followed
# before the receiver, which holds its track paused, and when it quits shairport-sync is again.
#   mpris_system_bus.sh JUKEBOX
set -euo pipefail
jukebox=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/mpris_session.sh"  # pids, fail, pass, free_port, mpv_plugin
source "$here/wait_for.sh"        # until_true
source "$here/transcript_marks.sh"
work=$(mktemp -d)
unset DBUS_SESSION_BUS_ADDRESS
export XDG_RUNTIME_DIR=$work/run XDG_CACHE_HOME=$work/cache HOME=$work
mkdir -m 700 "$XDG_RUNTIME_DIR"

# Debian's system bus, in short: owning a name and calling methods are denied unless a policy
# allows them; the receivers' policies are their packages' own, and let this user own their names.
me=$(id -un)
cat >"$work/system.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=$work/system_bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <deny own="*"/>
    <deny send_type="method_call"/>
    <allow send_type="signal"/>
    <allow send_requested_reply="true" send_type="method_return"/>
    <allow send_requested_reply="true" send_type="error"/>
    <allow receive_type="method_call"/>
    <allow receive_type="method_return"/>
    <allow receive_type="error"/>
    <allow receive_type="signal"/>
    <allow send_destination="org.freedesktop.DBus" send_interface="org.freedesktop.DBus"/>
    <allow send_destination="org.freedesktop.DBus" send_interface="org.freedesktop.DBus.Monitoring"/>
  </policy>
  <include>/etc/dbus-1/system.d/shairport-sync-dbus-policy.conf</include>
  <include>/etc/dbus-1/system.d/shairport-sync-mpris-policy.conf</include>
  <policy user="$me">
    <allow own="org.gnome.ShairportSync"/>
    <allow own="org.mpris.MediaPlayer2.ShairportSync"/>
    <allow own="org.mpris.MediaPlayer2.mpv"/>
  </policy>
  <policy context="default">
    <allow send_destination="org.mpris.MediaPlayer2.mpv"/>
  </policy>
</busconfig>
CONF
dbus-daemon --config-file="$work/system.conf" --nofork >"$work/dbus.log" 2>&1 &
pids+=($!)
until_true 30 test -S "$work/system_bus" || fail "the system bus daemon did not start"
export DBUS_SYSTEM_BUS_ADDRESS=unix:path=$work/system_bus
# What the players say on the bus, shown with the other logs when a check fails.
busctl --system monitor --match "type='signal',member='PropertiesChanged'" >"$work/monitor.log" 2>&1 &
pids+=($!)

# shairport-sync with its MPRIS interface on the system bus, no audio hardware, its own RTSP port;
# with no mDNS daemon on this bus it is not announced, which nothing here needs.
airplay_port=$(free_port)
cat >"$work/shairport-sync.conf" <<CONF
general = { name = "Velmora Test"; port = $airplay_port; udp_port_base = $(free_port);
            udp_port_range = 100; mpris_service_bus = "system"; dbus_service_bus = "system"; };
metadata = { enabled = "yes"; cover_art_cache_directory = "$work/coverart"; };
CONF
shairport-sync -c "$work/shairport-sync.conf" -o dummy -u -v >"$work/shairport-sync.log" 2>&1 &
pids+=($!)
airplay=org.mpris.MediaPlayer2.ShairportSync
# Asked of the bus itself: "busctl status" also reads the owner's process, which a chroot may hide.
owned() {
  [ "$(busctl --system call org.freedesktop.DBus /org/freedesktop/DBus org.freedesktop.DBus \
    NameHasOwner s "$1" 2>/dev/null)" = "b true" ]
}
until_true 30 owned "$airplay" || fail "shairport-sync is not on the system bus"
[ "$(busctl --system get-property "$airplay" /org/mpris/MediaPlayer2 \
    org.mpris.MediaPlayer2.Player PlaybackStatus)" = 's "Stopped"' ] ||
    fail "shairport-sync with no sender is not Stopped"

port=$(free_port)
log=$work/bridge.log
start_jukebox --mpris
until_true 30 grep -q listening "$work/jukebox.log" || fail "the service did not start"
grep -q "following the players on the system bus$" "$work/jukebox.log" ||
    fail "the service does not say it follows the system bus only"
python3 "$here/link_board.py" "$port" >"$work/board.log" 2>&1 &
pids+=($!)
wait_for 10 '^> MSG cdjr playing\["","",""' || fail "the board was not told that nothing plays"
until_true 10 grep -q "following $airplay on the system bus" "$work/jukebox.log" ||
    fail "the service did not follow shairport-sync"
pass "shairport-sync on the system bus is followed, with no session bus: nothing plays"

# shairport-sync says Paused with a sender's track: it learns Playing only from the sender's remote
# control, which this one has not.
set_mark
python3 "$here/airplay_sender.py" "$airplay_port" "Harbour Lights" "The Lantern Choir" \
    "Paper Boats" >"$work/sender.log" 2>&1 &
pids+=($!)
wait_for 20 '^> MSG cdjr playing\["Harbour Lights","The Lantern Choir","Paper Boats"' ||
    fail "the track sent to shairport-sync did not reach the board"
pass "the track an AirPlay sender sends to shairport-sync reaches the board"

sox -q -n -b 16 -r 22050 -c 1 "$work/tone.wav" synth 30 sine 440 vol 0.1
oggenc -Q -a "Tidal Maps" -l "Kestrel Bay" -t "Undertow" -o "$work/01.ogg" "$work/tone.wav"
set_mark
# mpv's plugin publishes on the bus it takes for the session's: here, the system bus.
DBUS_SESSION_BUS_ADDRESS=$DBUS_SYSTEM_BUS_ADDRESS mpv --no-config --script="$(mpv_plugin)" \
    --no-video --ao=null --no-terminal "$work/01.ogg" >"$work/mpv.log" 2>&1 &
pids+=($!)
mpv_pid=$!
wait_for 20 '^> MSG cdjr playing\["Kestrel Bay","Tidal Maps","Undertow","0:30"' ||
    fail "a player that plays on the system bus was not followed before the paused receiver"
set_mark
kill "$mpv_pid"
wait_for 10 '^> MSG cdjr playing\["Harbour Lights","The Lantern Choir","Paper Boats"' ||
    fail "the player quit: the board did not go back to shairport-sync's track"
until_true 10 test "$(grep -c "following $airplay on the system bus" "$work/jukebox.log")" = 2 ||
    fail "the player quit: shairport-sync is not followed again"
kill -0 "$jukebox_pid" || fail "the service ended"
! grep -qi "session bus" "$work/jukebox.log" || fail "the service spoke of a session bus"
[ "$(grep -c '\* connected from' "$log")" = 1 ] || fail "the board had to reconnect"
pass "a player that plays on the system bus goes before the paused receiver, which is back after"
echo "mpris system bus: $passed passed, 0 failed"
