#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Soak test of velmora-jukebox: runs the demo at high speed with one client that behaves like a
# board (every "playing" asks for the pointer, every pointer for the next entry) and prints the
# service's resident memory after the first 100 tracks and after the last, then stops it with
# SIGTERM and shows what it said (a sanitizer build reports leaks there).
#   bench/jukebox/soak.sh build/default/jukebox/velmora-jukebox [tracks] [speed]
set -euo pipefail

program=${1:?usage: soak.sh PATH/TO/velmora-jukebox [tracks] [speed]}
tracks=${2:-10000}
speed=${3:-100000}

work=$(mktemp -d)
XDG_CACHE_HOME=$work "$program" --demo --port 0 --speed "$speed" >"$work/out" 2>&1 &
service=$!
trap 'kill "$service" 2>/dev/null || true; rm -rf "$work"' EXIT

for _ in $(seq 100); do
    grep -q 'listening on' "$work/out" && break
    sleep 0.1
done
port=$(sed -n 's/.*listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/out")
[[ -n $port ]] || { cat "$work/out"; exit 1; }

rss() { ps -o rss= -p "$service" | tr -d ' '; }

exec 3<>"/dev/tcp/127.0.0.1/$port"
printf '%s\n' 'VELMORA-LINK 1' 'OPEN cdj type=devtx' 'OPEN cdjr type=devrx' \
    'SEND cdj notify_playing_item[on]' 'SEND cdj notify_playing_timecode[on]' >&3

started=$SECONDS
playing=0 times=0 items=0 before=
while IFS= read -r line <&3; do
    case $line in
        'MSG cdjr playing['*)
            playing=$((playing + 1))
            printf 'SEND cdj playlist_getpointer\n' >&3
            ((playing == 100)) && before=$(rss)
            ((playing >= tracks)) && break
            ;;
        'MSG cdjr playlist_pointer['*)
            n=${line#MSG cdjr playlist_pointer[}
            printf 'SEND cdj playlist_getitem[%d]\n' $((${n%]} + 1)) >&3
            ;;
        'MSG cdjr playlist_item['*) items=$((items + 1)) ;;
        'MSG cdjr time['*) times=$((times + 1)) ;;
    esac
done
after=$(rss)
echo "tracks played: $playing, time codes: $times, entries looked up: $items," \
    "in $((SECONDS - started)) s at speed $speed"
echo "service RSS after 100 tracks: ${before} KiB, after $playing tracks: ${after} KiB" \
    "(growth $((after - before)) KiB)"
exec 3<&-
kill -TERM "$service"
status=0
wait "$service" || status=$?
echo "service exit status: $status; its output:"
cat "$work/out"
