#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Figures of velmora-jukebox --mpris with a real mpv (its MPRIS plugin) on a session bus of its own
# (reported, not asserted):
#  1. a player's Next called on the bus to a board-side client holding the new "playing" message,
#     tagged files, covers cached: median and 99th percentile over RUNS changes, beside the floor
#     of the same run (a bare sd-bus client receiving the PropertiesChanged with the new tags; mpv
#     first announces the file name);
#  2. the same for files without tags, which the bridge holds while it waits for tags;
#  3. the bridge idle for IDLE_SECONDS with the player paused: CPU and resident memory.
#   bench/jukebox/mpris_figures.sh BUILD_DIR      (builds velmora-mpris-floor there)
set -euo pipefail
source "$(dirname "$0")/../../tests/e2e/mpris_session.sh"
in_own_session "$@"
build=$1
cmake --build "$build" --target velmora-jukebox velmora-mpris-floor -j2 >/dev/null
jukebox=$build/jukebox/velmora-jukebox
floor=$build/bench/velmora-mpris-floor
RUNS=${RUNS:-200} SETTLE_RUNS=${SETTLE_RUNS:-20} IDLE_SECONDS=${IDLE_SECONDS:-60}
plugin=$(mpv_plugin)
work=$(mktemp -d)
export XDG_CACHE_HOME=$work/cache
mkdir -p "$work/tagged" "$work/plain"
sox -q -n -b 16 -r 22050 -c 1 "$work/tone.wav" synth 120 sine 440 vol 0.1
for n in 1 2 3 4; do
    oggenc -Q -a "Artist $n" -l "Album $n" -t "Title $n" -o "$work/tagged/0$n.ogg" "$work/tone.wav"
    [ "$n" -le 2 ] && oggenc -Q -o "$work/plain/0$n.ogg" "$work/tone.wav"
done
convert -size 64x64 xc:'#2050a0' "$work/tagged/cover.jpg"
port=$(free_port)
"$jukebox" --mpris --port "$port" >"$work/jukebox.log" 2>&1 &
pids+=($!)
jukebox_pid=$!
for _ in $(seq 100); do grep -q listening "$work/jukebox.log" && break; sleep 0.1; done
python3 - "$port" >"$work/board.txt" <<'PY' &
import socket, sys, time
board = socket.create_connection(("127.0.0.1", int(sys.argv[1])))
board.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
board.sendall(b"VELMORA-LINK 1\nOPEN cdj type=devtx\nOPEN cdjr type=devrx\n"
              b"SEND cdj notify_playing_item[on]\n")
buffer = b""
while True:
    data = board.recv(65536)
    if not data:
        break
    at = time.monotonic()
    buffer += data
    *lines, buffer = buffer.split(b"\n")
    for line in lines:
        if line.startswith(b"MSG cdjr playing["):
            print("%.6f %s" % (at, line.decode()), flush=True)
PY
pids+=($!)
echo "load average at the start: $(cut -d' ' -f1-3 /proc/loadavg)"

measure() {  # folder, runs, "tags" when a file name as title does not count: prints the figures
    mpv --no-config --script="$plugin" --no-video --ao=null --no-terminal --loop-playlist=inf \
        "$1"/*.ogg >/dev/null 2>&1 &
    local mpv_pid=$!
    local name=
    for _ in $(seq 100); do
        name=$(busctl --user list --no-legend | awk '$1 ~ /^org\.mpris\.MediaPlayer2\.mpv/ { print $1; exit }')
        [ -n "$name" ] && break
        sleep 0.1
    done
    "$floor" "$name" 4 300 >/dev/null  # one round first, so that the covers are cached
    "$floor" "$name" "$2" 300 ${3:-} >"$work/floor.txt"
    kill "$mpv_pid"
    wait "$mpv_pid" 2>/dev/null || true
    python3 - "$work/floor.txt" "$work/board.txt" <<'PY'
import sys
runs = [tuple(map(float, line.split())) for line in open(sys.argv[1])]
board = [(float(line.split(" ", 1)[0]), line.split(" ", 1)[1]) for line in open(sys.argv[2])]
floor, bridge = [], []
for sent, received in runs:
    told = next((at for at, text in board if at > sent and not text.endswith('"0"]')), None)
    if received > 0 and told is not None:
        floor.append((received - sent) * 1000)
        bridge.append((told - sent) * 1000)
def show(name, values):
    values = sorted(values) or [float("nan")]
    pick = lambda q: values[min(len(values) - 1, int(q * len(values)))]
    print("  %-44s median %7.2f ms, p99 %7.2f ms, worst %7.2f ms" % (name, pick(0.5), pick(0.99), values[-1]))
print("  changes measured: %d of %d" % (len(bridge), len(runs)))
show("floor (bare sd-bus client, PropertiesChanged)", floor)
show("bridge (board-side client, playing)", bridge)
PY
}

echo "== 1. Next -> the board's playing message, tagged files, covers cached ($RUNS changes)"
measure "$work/tagged" "$RUNS" tags
echo "== 2. the same for files without tags: the file name as title waits for tags ($SETTLE_RUNS changes)"
measure "$work/plain" "$SETTLE_RUNS"

echo "== 3. the bridge idle ${IDLE_SECONDS} s, the player paused"
mpv --no-config --script="$plugin" --no-video --ao=null --no-terminal --pause "$work/tagged/01.ogg" \
    >/dev/null 2>&1 &
pids+=($!)
sleep 2
ticks() { awk '{print $14 + $15}' "/proc/$jukebox_pid/stat"; }
before=$(ticks)
sleep "$IDLE_SECONDS"
after=$(ticks)
hz=$(getconf CLK_TCK)
awk -v t=$((after - before)) -v hz="$hz" -v s="$IDLE_SECONDS" \
    'BEGIN { printf "  %d CPU ticks in %d s: %.3f %% of a core\n", t, s, 100 * t / hz / s }'
grep VmRSS "/proc/$jukebox_pid/status" | awk '{ printf "  resident: %.1f MB\n", $2 / 1024 }'
