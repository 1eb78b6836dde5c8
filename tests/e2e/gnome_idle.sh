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

# Mutter refuses to run as root: an ordinary user, with copies it can reach, on a bus of its own.
if [ "$(id -u)" = 0 ]; then
    work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-gnome.XXXXXX")
    mkdir "$work/bin" "$work/e2e"
    cp "$board" "$jukebox" "$idle" "$work/bin/"
    cp "$here"/*.sh "$work/e2e/"
    chown -R nobody:nogroup "$work"
    chmod 755 "$work"
    exec setpriv --reuid=nobody --regid=nogroup --clear-groups env VELMORA_GNOME_WORK="$work" \
        "$work/e2e/$(basename "$0")" "$work/bin/$(basename "$board")" \
        "$work/bin/$(basename "$jukebox")" "$work/bin/$(basename "$idle")"
fi
if [ -z "${VELMORA_GNOME_BUS:-}" ]; then
    exec env VELMORA_GNOME_BUS=1 dbus-run-session -- "$0" "$@"
fi
work=${VELMORA_GNOME_WORK:-$(mktemp -d "${TMPDIR:-/tmp}/velmora-gnome.XXXXXX")}
source "$here/wait_for.sh"

pids=()
cleanup() {
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
    wait 2>/dev/null || true
    if [ "${keep:-0}" = 1 ]; then echo "kept $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*"
    for f in "$work"/*.log; do echo "--- $f"; tail -n 25 "$f"; done
    keep=1
    exit 1
}
count() { grep -c "$1" "$2" || true; }
boards_are() { [ "$(pgrep -u "$(id -u)" -xc "$(basename "$board")" || true)" = "$1" ]; }
all_closed() { [ "$(count '< CLOSE cdjr$' "$work/transcript.log")" = "$(count '< VELMORA-LINK' "$work/transcript.log")" ]; }
until_true() {  # seconds, command...
    local deadline=$((SECONDS + $1))
    shift
    until "$@" >/dev/null 2>&1; do
        [ $SECONDS -lt $deadline ] || return 1
        sleep 0.05
    done
}

export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_RUNTIME_DIR=$work/run
mkdir -p "$XDG_CONFIG_HOME/velmora2000" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
printf '[Service]\nHost=127.0.0.1\nPort=%s\n' "$port" >"$XDG_CONFIG_HOME/velmora2000/Slinkx.ini"
"$jukebox" --demo --port "$port" --transcript "$work/transcript.log" >"$work/jukebox.log" 2>&1 &
pids+=($!)

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
