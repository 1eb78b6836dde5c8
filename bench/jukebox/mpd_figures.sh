#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Figures of velmora-jukebox --mpd against a private MPD on loopback (reported, not asserted):
#  1. from MPD's "next" to a board-side client holding the new "playing" message (covers cached):
#     median and 99th percentile over RUNS changes;
#  2. the bridge idle for IDLE_SECONDS with MPD paused: CPU and resident memory;
#  3. BOARDS board-side clients while MPD plays, FANOUT_SECONDS: each time message's delay after
#     the first client got it (99th percentile), and the bridge's CPU.
#   bench/jukebox/mpd_figures.sh PATH/TO/velmora-jukebox
set -euo pipefail
jukebox=$1
here=$(cd "$(dirname "$0")" && pwd)
e2e=$here/../../tests/e2e
source "$e2e/mpd_server.sh"
RUNS=${RUNS:-200} IDLE_SECONDS=${IDLE_SECONDS:-60} BOARDS=${BOARDS:-200}
FANOUT_SECONDS=${FANOUT_SECONDS:-30}

work=$(mktemp -d)
jukebox_pid=
cleanup() {
    [ -n "$jukebox_pid" ] && kill "$jukebox_pid" 2>/dev/null || true
    mpd_stop
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
export XDG_CACHE_HOME=$work/cache
mpd_start "$work"
mpc -q add /
mpc -q repeat on
mpc -q play
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
"$jukebox" --mpd --port "$port" --max-clients $((BOARDS + 8)) >"$work/jukebox.log" 2>&1 &
jukebox_pid=$!
for _ in $(seq 100); do grep -q listening "$work/jukebox.log" && break; sleep 0.1; done
ticks() { awk '{print $14 + $15}' "/proc/$jukebox_pid/stat"; }
hz=$(getconf CLK_TCK)
echo "load average at the start: $(cut -d' ' -f1-3 /proc/loadavg)"

echo "== 1. MPD next -> the board's playing message ($RUNS changes, covers cached)"
python3 - "$port" "$MPD_PORT" "$RUNS" <<'PY'
import socket, sys, time
board_port, mpd_port, runs = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3])
board = socket.create_connection(("127.0.0.1", board_port))
board.sendall(b"VELMORA-LINK 1\nOPEN cdj type=devtx\nOPEN cdjr type=devrx\n"
              b"SEND cdj notify_playing_item[on]\n")
mpd = socket.create_connection(("127.0.0.1", mpd_port))
mpd.recv(100)
buffer = b""
def next_playing(deadline):
    global buffer
    while time.monotonic() < deadline:
        while b"\n" in buffer:
            line, buffer = buffer.split(b"\n", 1)
            if line.startswith(b"MSG cdjr playing["):
                return line
        board.settimeout(max(0.001, deadline - time.monotonic()))
        try:
            buffer += board.recv(65536)
        except socket.timeout:
            return None
    return None
next_playing(time.monotonic() + 5)
# One round of every song first, so that each cover is in the cache.
for _ in range(8):
    mpd.sendall(b"next\n"); mpd.recv(100)
    time.sleep(0.3)
time.sleep(1)
board.setblocking(True)
buffer = b""
board.settimeout(0.2)
try:
    while board.recv(65536): pass
except socket.timeout:
    pass
samples = []
for _ in range(runs):
    start = time.monotonic()
    mpd.sendall(b"next\n")
    line = next_playing(start + 2)
    if line is not None:
        samples.append((time.monotonic() - start) * 1000)
    mpd.recv(100)
    # A second playing message (a cover fetched late) would count twice: wait it out.
    time.sleep(0.05)
    board.settimeout(0.001)
    try:
        while True:
            buffer += board.recv(65536)
    except (socket.timeout, BlockingIOError):
        pass
    buffer = b""
samples.sort()
pick = lambda q: samples[min(len(samples) - 1, int(q * len(samples)))]
print("changes %d of %d: median %.2f ms, p99 %.2f ms, max %.2f ms"
      % (len(samples), runs, pick(0.5), pick(0.99), samples[-1]))
PY

echo "== 2. idle ${IDLE_SECONDS} s, MPD paused"
mpc -q pause
sleep 1
before=$(ticks)
sleep "$IDLE_SECONDS"
after=$(ticks)
awk -v t=$((after - before)) -v hz="$hz" -v s="$IDLE_SECONDS" \
    'BEGIN { printf "CPU: %d ticks = %.3f %% of a core\n", t, 100 * t / hz / s }'
grep -E 'VmRSS|VmHWM' "/proc/$jukebox_pid/status" | tr -s ' \t' ' '

echo "== 3. $BOARDS boards, MPD playing, ${FANOUT_SECONDS} s"
mpc -q play
before=$(ticks)
python3 "$e2e/link_board.py" "$port" "$FANOUT_SECONDS" --boards "$BOARDS"
after=$(ticks)
awk -v t=$((after - before)) -v hz="$hz" -v s="$FANOUT_SECONDS" \
    'BEGIN { printf "bridge CPU: %d ticks = %.2f %% of a core\n", t, 100 * t / hz / s }'
grep -E 'VmRSS' "/proc/$jukebox_pid/status" | tr -s ' \t' ' '
