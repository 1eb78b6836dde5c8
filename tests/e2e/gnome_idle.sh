#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# velmora-idle on GNOME: a real, headless mutter on a private session bus. Mutter offers neither
# Wayland idle protocol, so velmora-idle falls back to its idle monitor on the bus; two idle
# seconds start the board (on mutter's Wayland), a key pressed through mutter's remote-desktop
# interface ends it with its shutdown lines, idle starts it again, and stopping velmora-idle
# ends that board too.
#   gnome_idle.sh BOARD JUKEBOX IDLE
set -euo pipefail
board=$(realpath "$1") jukebox=$(realpath "$2") idle=$(realpath "$3")
here=$(cd "$(dirname "$0")" && pwd)
# Mutter refuses to run as root; it gets a session bus of its own.
source "$here/user_session.sh"
source "$here/wait_for.sh"
run_from_copies "$board" "$jukebox" "$idle"
if [ -z "${VELMORA_GNOME_BUS:-}" ]; then
    exec env VELMORA_GNOME_BUS=1 dbus-run-session -- "$0" "$@"
fi
start_session "$jukebox"

mutter --headless --wayland --no-x11 --virtual-monitor 1280x1024 >"$work/mutter.log" 2>&1 &
pids+=($!)
monitor=(--session --dest org.gnome.Mutter.IdleMonitor --object-path /org/gnome/Mutter/IdleMonitor/Core)
until_true 20 gdbus call "${monitor[@]}" --method org.gnome.Mutter.IdleMonitor.GetIdletime ||
    fail "mutter's idle monitor did not come"
export WAYLAND_DISPLAY=$(basename "$(compgen -G "$XDG_RUNTIME_DIR/wayland-*[0-9]")")

"$idle" --after-seconds 2 >"$work/idle.log" 2>&1 &
idle_pid=$!
pids+=($idle_pid)
until_true 5 grep -q 'watching org.gnome.Mutter.IdleMonitor on the session bus' "$work/idle.log" ||
    fail "velmora-idle does not watch mutter's idle monitor"

# A key, as a remote-desktop client presses it: real input for mutter.
press_key() {
    python3 - <<'PY'
import dbus
bus = dbus.SessionBus()
name = "org.gnome.Mutter.RemoteDesktop"
path = bus.get_object(name, "/org/gnome/Mutter/RemoteDesktop").CreateSession(dbus_interface=name)
session = dbus.Interface(bus.get_object(name, path), name + ".Session")
session.Start()
session.NotifyKeyboardKeysym(dbus.UInt32(0x20), True)  # space
session.NotifyKeyboardKeysym(dbus.UInt32(0x20), False)
session.Stop()
PY
}

for round in 1 2; do
    until_true 20 boards_are 1 || fail "round $round: no board after two idle seconds"
    wait_for 20 "$work/transcript.log" "#$round > MSG cdjr playlist_item" ||
        fail "round $round: the board did not get its track"
    sleep 2.5
    boards_are 1 || fail "round $round: not exactly one board after another idle threshold"
    [ "$round" = 2 ] && break
    press_key
    until_true 10 boards_are 0 || fail "the key press did not end the board"
    until_true 10 all_closed || fail "no shutdown lines after the key press"
done

# Stopping velmora-idle ends the board that shows, with its shutdown lines.
kill -TERM "$idle_pid"
status=0
wait "$idle_pid" || status=$?
[ "$status" = 0 ] || fail "velmora-idle exited with $status after SIGTERM"
boards_are 0 || fail "the board outlived velmora-idle"
until_true 10 all_closed || fail "no shutdown lines when velmora-idle stopped"
grep -q 'the board ended with status 0' "$work/idle.log" || fail "the board did not end cleanly"
echo "gnome_idle: 1 passed, 0 failed"
