# SPDX-License-Identifier: MIT
# Sourced by the end-to-end tests under a real compositor, which refuses to run as root: the move
# to an ordinary user, a private session (home, runtime folder, a demo jukebox service on
# loopback) and the checks on the boards of that session. The script sets board and here first.

# Copies the programs given (the board's helper too) and these scripts into a folder of the test's
# own, and runs the calling script again with the copies: as an ordinary user when root, who may
# not reach the build tree. Each test's boards are then told from any other's by their path.
run_from_copies() {
    [ -z "${VELMORA_E2E_WORK:-}" ] || return 0
    local work copies=() program
    work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-e2e.XXXXXX")
    mkdir "$work/bin" "$work/e2e"
    cp "$@" "$work/bin/"
    [ -x "$(dirname "$1")/velmora-metafile" ] && cp "$(dirname "$1")/velmora-metafile" "$work/bin/"
    cp "$here"/*.sh "$work/e2e/"
    for program in "$@"; do copies+=("$work/bin/$(basename "$program")"); done
    local as=()
    if [ "$(id -u)" = 0 ]; then
        chown -R nobody:nogroup "$work"
        chmod 755 "$work"
        as=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
    fi
    exec "${as[@]}" env VELMORA_E2E_WORK="$work" "$work/e2e/$(basename "$0")" "${copies[@]}"
}

# The session: $work, a private home and runtime folder, the demo jukebox writing
# $work/transcript.log. Everything started later goes into pids and ends with the script.
start_session() {  # jukebox
    work=$VELMORA_E2E_WORK
    pids=()
    trap cleanup EXIT
    export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_RUNTIME_DIR=$work/run
    mkdir -p "$XDG_CONFIG_HOME/velmora2000" "$XDG_RUNTIME_DIR"
    chmod 700 "$XDG_RUNTIME_DIR"
    unset DISPLAY WAYLAND_DISPLAY SWAYSOCK QT_QPA_PLATFORM VELMORA_NO_IDLE_INHIBIT
    local port
    port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    printf '[Service]\nHost=127.0.0.1\nPort=%s\n' "$port" >"$XDG_CONFIG_HOME/velmora2000/Slinkx.ini"
    "$1" --demo --port "$port" --transcript "$work/transcript.log" >"$work/jukebox.log" 2>&1 &
    pids+=($!)
}
cleanup() {
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
    wait 2>/dev/null || true
    if [ "${keep:-${VELMORA_E2E_KEEP:-0}}" = 1 ]; then echo "kept $work"; else rm -rf "$work"; fi
}
fail() {
    echo "FAIL: $*"
    for f in "$work"/*.log; do echo "--- $f"; tail -n 25 "$f"; done
    keep=1
    exit 1
}
count() { grep -c "$1" "$2" || true; }
boards() { pgrep -fc "^$board /S" || true; }
boards_are() { [ "$(boards)" = "$1" ]; }
# Every board that connected has ended with its shutdown lines.
all_closed() { [ "$(count '< CLOSE cdjr$' "$work/transcript.log")" = "$(count '< VELMORA-LINK' "$work/transcript.log")" ]; }
