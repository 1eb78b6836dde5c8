#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Figures of velmora-jukebox --mpris vlc with a real VLC 3.0 (its D-Bus control) on a session bus
# of its own (reported, not asserted): a Next called on the bus to a board-side client holding the
# new "playing", beside the floor of the same run (a bare sd-bus client receiving VLC's
# PropertiesChanged with the new tags); and what else the board was told between two changes.
#   bench/jukebox/mpris_vlc_figures.sh BUILD_DIR [JUKEBOX]   (JUKEBOX: another build's, to compare)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$1
# VLC does not run as root: the figures go on as an ordinary user, with copies it can reach.
if [ "$(id -u)" = 0 ]; then
    cmake --build "$build" --target velmora-jukebox velmora-mpris-floor -j2 >/dev/null
    work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-vlc-figures.XXXXXX")
    mkdir -p "$work/bin" "$work/bench/jukebox" "$work/tests/e2e"
    cp "${2:-$build/jukebox/velmora-jukebox}" "$work/bin/velmora-jukebox"
    cp "$build/bench/velmora-mpris-floor" "$work/bin/"
    cp "$here"/*.sh "$here"/*.py "$work/bench/jukebox/"
    cp "$here/../../tests/e2e/mpris_session.sh" "$work/tests/e2e/"
    chown -R nobody:nogroup "$work"
    chmod 755 "$work"
    exec setpriv --reuid=nobody --regid=nogroup --clear-groups env VELMORA_VLC_WORK="$work" \
        "$work/bench/jukebox/$(basename "$0")" "$work" "$work/bin/velmora-jukebox"
fi
source "$here/../../tests/e2e/mpris_session.sh"
in_own_session "$@"
work=${VELMORA_VLC_WORK:-$(mktemp -d)}
jukebox=${2:-$build/jukebox/velmora-jukebox}
floor=$build/bin/velmora-mpris-floor
[ -x "$floor" ] || floor=$build/bench/velmora-mpris-floor
RUNS=${RUNS:-30}
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_CACHE_HOME=$work/home/.cache
mkdir -p "$HOME" "$work/music"
sox -q -n -b 16 -r 22050 -c 1 "$work/tone.wav" synth 60 sine 440 vol 0.1
for n in 1 2 3 4; do
    oggenc -Q -a "Artist $n" -l "Album $n" -t "Title $n" -o "$work/music/0$n.ogg" "$work/tone.wav"
done
port=$(free_port)
"$jukebox" --mpris vlc --port "$port" --cover-dir "$work/covers" >"$work/jukebox.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do grep -q listening "$work/jukebox.log" && break; sleep 0.1; done
python3 "$here/change_latency.py" board "$port" >"$work/board.txt" &
pids+=($!)
cvlc -I dummy --control dbus --aout=dummy --loop "$work/music"/*.ogg >"$work/vlc.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
    busctl --user status org.mpris.MediaPlayer2.vlc >/dev/null 2>&1 && break
    sleep 0.1
done
echo "load average at the start: $(cut -d' ' -f1-3 /proc/loadavg)"
"$floor" org.mpris.MediaPlayer2.vlc 4 1000 tags >/dev/null  # a first round: VLC reads every file
echo "== Next -> the board's playing message, VLC, tagged files ($RUNS changes)"
"$floor" org.mpris.MediaPlayer2.vlc "$RUNS" 1500 tags >"$work/floor.txt"
python3 "$here/change_latency.py" figures "$work/floor.txt" "$work/board.txt"
