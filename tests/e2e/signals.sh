#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# SIGTERM, SIGINT and SIGHUP end the board in every mode as a close by the desktop does: the
# jukebox hears the shutdown sequence and the program exits with status 0. Runs on an X display.
set -euo pipefail
board=$1
jukebox=$2
source "$(cd "$(dirname "$0")" && pwd)/wait_for.sh"

work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-signals.XXXXXX")
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    if [ "${keep:-0}" = 1 ]; then echo "kept $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT
failures=0
fail() {
    echo "FAIL [$case]: $*"
    for f in "$dir"/*.log; do echo "--- $f"; tail -n 20 "$f"; done
    keep=1
    failures=$((failures + 1))
}

# The commands the board sent, without time stamps and connection numbers.
commands() { sed -nE 's/^[^ ]+ #[0-9]+ (< .*)$/\1/p' "$1"; }

shutdown=$(printf '%s\n' '< SEND cdj notify_playing_item[off]' \
    '< SEND cdj notify_playing_timecode[off]' '< CLOSE cdj' '< CLOSE cdjr')

# A session without a bus (no address, no bus in the runtime folder): the board must not start
# one. libdbus would run "dbus-launch --autolaunch", Debian's where dbus-x11 is installed, else
# the first in PATH: this one, which leaves a mark.
mkdir "$work/bin"
printf '#!/bin/sh\necho "$*" >>"%s/autolaunched"\nexit 1\n' "$work" >"$work/bin/dbus-launch"
chmod +x "$work/bin/dbus-launch"
[ -x /usr/bin/dbus-launch ] && echo "note: /usr/bin/dbus-launch is installed; no autolaunch check"

# mode (the board's arguments)          signal
cases=(
    "/S      TERM" "/S      INT" "/S      HUP"
    "/C      TERM" "/C      INT" "/C      HUP"
    "--root  TERM" "--root  INT" "--root  HUP"
)
for case in "${cases[@]}"; do
    read -r mode signal <<<"$case"
    dir="$work/$(echo "$mode-$signal" | tr -d '/-')"
    mkdir -p "$dir/config/velmora2000" "$dir/run"
    chmod 700 "$dir/run"
    port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    printf '[Service]\nHost=127.0.0.1\nPort=%s\n' "$port" >"$dir/config/velmora2000/Slinkx.ini"

    "$jukebox" --demo --port "$port" --transcript "$dir/transcript.log" >"$dir/jukebox.log" 2>&1 &
    jukebox_pid=$!
    pids+=("$jukebox_pid")
    wait_for 10 "$dir/jukebox.log" 'listening' || { fail "the jukebox did not start"; continue; }

    env -u DBUS_SESSION_BUS_ADDRESS PATH="$work/bin:$PATH" HOME=$dir XDG_CONFIG_HOME=$dir/config \
        XDG_RUNTIME_DIR=$dir/run "$board" $mode >"$dir/board.log" 2>&1 &
    board_pid=$!
    pids+=("$board_pid")
    # "/C" has shut the board down already and keeps its dialog open; the others are running.
    ready='< SEND cdj echo\[cdjon\]'
    [ "$mode" = /C ] && ready='< CLOSE cdjr'
    wait_for 15 "$dir/transcript.log" "$ready" || fail "no start-up conversation"
    sleep 0.3
    kill -0 "$board_pid" 2>/dev/null || fail "the board ended before the signal"

    kill -s "$signal" "$board_pid"
    status=0
    for _ in $(seq 100); do kill -0 "$board_pid" 2>/dev/null || break; sleep 0.1; done
    if kill -0 "$board_pid" 2>/dev/null; then
        fail "the board is still running 10 s after SIG$signal"
        kill -9 "$board_pid"
    fi
    wait "$board_pid" || status=$?
    [ "$status" = 0 ] || fail "exit status $status after SIG$signal"
    wait_for 5 "$dir/transcript.log" '< CLOSE cdjr' || fail "no shutdown sequence"
    sleep 0.2
    [ "$(commands "$dir/transcript.log" | tail -n 4)" = "$shutdown" ] ||
        fail "the conversation ends with: $(commands "$dir/transcript.log" | tail -n 4)"
    [ "$(commands "$dir/transcript.log" | grep -c '^< CLOSE cdjr$')" = 1 ] ||
        fail "the endpoints were closed more than once"
    [ -e "$work/autolaunched" ] && fail "the board autolaunched a session bus: $(cat "$work/autolaunched")"
    rm -f "$work/autolaunched"
    kill "$jukebox_pid" 2>/dev/null || true
    wait "$jukebox_pid" 2>/dev/null || true
done

# A host's window that cannot be used ends the program with status 2 at once.
dir=$work
for case in "-window-id nope" "-window-id 0x7ffffff0" "offscreen --root"; do
    status=0
    if [ "${case%% *}" = offscreen ]; then
        QT_QPA_PLATFORM=offscreen timeout 10 "$board" --root >"$work/bad.log" 2>&1 || status=$?
    else
        timeout 10 "$board" $case >"$work/bad.log" 2>&1 || status=$?
    fi
    [ "$status" = 2 ] || fail "exit status $status"
done

echo "signals: $((${#cases[@]} + 3 - failures)) of $((${#cases[@]} + 3)) cases passed"
[ "$failures" = 0 ]
