# SPDX-License-Identifier: MIT
# Sourced by the MPRIS tests and figures, after "set -euo pipefail".
#   in_own_session "$@"   runs the script again under a session bus of its own, so that no player
#                         of the machine takes part (once)
#   pids+=($!)            processes ended, last first, when the script ends; then $work goes
#   fail MESSAGE          says why, shows the logs in $work and keeps it; pass MESSAGE counts
#   free_port             a free TCP port on loopback
#   mpv_plugin            the mpv-mpris plugin's path
in_own_session() {
    [ -n "${VELMORA_MPRIS_SESSION:-}" ] && return 0
    # --mpris looks at the system bus too: the machine's, with its players, is kept out.
    export DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent/velmora-no-system-bus
    VELMORA_MPRIS_SESSION=1 exec dbus-run-session -- "$0" "$@"
}
pids=()
passed=0
cleanup() {
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
    wait 2>/dev/null || true
    [ -n "${work:-}" ] || return 0
    if [ "${keep:-0}" = 1 ]; then echo "kept $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*"
    for f in "$work"/*.log; do echo "--- $f"; tail -n 30 "$f"; done
    keep=1
    exit 1
}
pass() { passed=$((passed + 1)); echo "PASS $*"; }
free_port() {
    python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}
# The service under test, with its options (--mpris [PLAYER] ...), on $port, transcript in $log.
start_jukebox() {
    "$jukebox" "$@" --port "$port" --cover-dir "$work/covers" --transcript "$log" \
        >"$work/jukebox.log" 2>&1 &
    pids+=($!)
    jukebox_pid=$!
}
mpv_plugin() { dpkg -L mpv-mpris | grep -m 1 '/mpris\.so$'; }
