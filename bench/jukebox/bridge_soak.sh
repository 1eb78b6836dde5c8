#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Soak of the two followers (reported, not asserted): velmora-jukebox --mpris following a real mpv
# (its MPRIS plugin, three tagged tracks and one folder cover, on a session bus of its own) whose
# track is changed with Next every PAUSE_MS, and velmora-jukebox --mpd beside it following a private
# MPD changed with "next" at the same pace; one board-side client each. Prints the service's
# resident memory against the number of changes every EVERY changes, then how far it moved from
# where it was after the first minute.
#   bench/jukebox/bridge_soak.sh BUILD_DIR        (builds velmora-mpris-floor there)
# CHANGES (3000), PAUSE_MS (300), EVERY (100); BRIDGES="mpris mpd" picks which run.
# JUKEBOX runs another build of the service (one from before a change, for its figures); WRAP puts
# a command in front of it (a heap profiler: WRAP="heaptrack -o /tmp/j").
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
e2e=$here/../../tests/e2e
source "$e2e/mpris_session.sh"
in_own_session "$@"
source "$e2e/mpd_server.sh"
build=$1
cmake --build "$build" --target velmora-jukebox velmora-mpris-floor -j2 >/dev/null
jukebox=${JUKEBOX:-$build/jukebox/velmora-jukebox}
floor=$build/bench/velmora-mpris-floor
CHANGES=${CHANGES:-3000} PAUSE_MS=${PAUSE_MS:-300} EVERY=${EVERY:-100}
BRIDGES=${BRIDGES:-mpris mpd}
read -ra wrap <<<"${WRAP:-}"
work=$(mktemp -d)
export XDG_CACHE_HOME=$work/cache
trap 'mpd_stop; cleanup' EXIT
echo "load average at the start: $(cut -d' ' -f1-3 /proc/loadavg)"

service() {  # log name, options...: starts the service and a board-side client; sets service_pid
    local name=$1 port
    shift
    port=$(free_port)
    "${wrap[@]}" "$jukebox" --port "$port" "$@" >"$work/$name.log" 2>&1 &
    pids+=($!)
    for _ in $(seq 300); do grep -q listening "$work/$name.log" && break; sleep 0.1; done
    # Under a wrapper the service is the wrapper's child.
    service_pid=$(pgrep -n -f "^$jukebox --port $port" || echo "${pids[-1]}")
    pids+=("$service_pid")
    python3 - "$port" >"$work/$name.told" <<'PY' &
import socket, sys
board = socket.create_connection(("127.0.0.1", int(sys.argv[1])))
board.sendall(b"VELMORA-LINK 1\nOPEN cdj type=devtx\nOPEN cdjr type=devrx\n"
              b"SEND cdj notify_playing_item[on]\nSEND cdj notify_playing_timecode[on]\n")
buffer, told = b"", 0
while data := board.recv(65536):
    *lines, buffer = (buffer + data).split(b"\n")
    told += sum(line.startswith(b"MSG cdjr playing[") for line in lines)
    print(told, flush=True)
PY
    pids+=($!)
}

soak() {  # name, command that makes EVERY changes: prints the table and the summary
    local name=$1 step=$2 changes=0 started=$SECONDS rss
    echo "   changes  seconds  told  RSS/kB"
    while ((changes < CHANGES)); do
        $step || { echo "  $step failed after $changes changes"; break; }
        changes=$((changes + EVERY))
        rss=$(awk '/^VmRSS/ { print $2 }' "/proc/$service_pid/status")
        printf '%10d %8d %5s %7d\n' "$changes" $((SECONDS - started)) \
            "$(tail -n 1 "$work/$name.told")" "$rss" | tee -a "$work/$name.rss"
    done
    awk '$2 >= 60 && !base { base = $4; at = $1 }
         base { d = $4 - base; if (d > up) up = d; if (-d > down) down = -d }
         END { if (base) printf "  after the first minute (%d changes) %d kB; since then +%d / -%d kB\n", at, base, up, down
               else print "  shorter than a minute: no figure" }' "$work/$name.rss"
}

if [[ " $BRIDGES " == *" mpris "* ]]; then
    echo "== velmora-jukebox --mpris, mpv Next every $PAUSE_MS ms"
    mkdir -p "$work/music"
    sox -q -n -b 16 -r 22050 -c 1 "$work/tone.wav" synth 60 sine 440 vol 0.1
    for n in 1 2 3; do
        oggenc -Q -a "Artist $n" -l "Album" -t "Title $n" -o "$work/music/0$n.ogg" "$work/tone.wav"
    done
    convert -size 64x64 xc:'#2050a0' "$work/music/cover.jpg"
    service mpris --mpris
    mpv --no-config --script="$(mpv_plugin)" --no-video --ao=null --no-terminal \
        --loop-playlist=inf "$work/music"/*.ogg >"$work/mpv.log" 2>&1 &
    pids+=($!)
    player=
    for _ in $(seq 100); do
        player=$(busctl --user list --no-legend | awk '$1 ~ /^org\.mpris\.MediaPlayer2\.mpv/ { print $1; exit }')
        [ -n "$player" ] && break
        sleep 0.1
    done
    mpris_step() { "$floor" "$player" "$EVERY" "$PAUSE_MS" >/dev/null; }
    soak mpris mpris_step
fi

if [[ " $BRIDGES " == *" mpd "* ]]; then
    echo "== velmora-jukebox --mpd, MPD next every $PAUSE_MS ms"
    mpd_start "$work"
    mpc -q add /
    mpc -q repeat on
    mpc -q play
    service mpd --mpd
    pause=$(awk -v ms="$PAUSE_MS" 'BEGIN { print ms / 1000 }')
    mpd_step() { for _ in $(seq "$EVERY"); do mpc -q next; sleep "$pause"; done; }
    soak mpd mpd_step
fi
