# SPDX-License-Identifier: MIT
# Sourced by the MPD tests: a private MPD with a small generated music folder.
#   mpd_start WORK   starts MPD on a free loopback port (MPD_PORT, MPD_HOST set), null output
#   mpd_stop         ends it
# The music: "Harbour Lights" (folder with cover.jpg, two Ogg Vorbis tracks), "Ærø Café" (FLAC
# with an embedded PNG, tags beyond ASCII), and one untagged FLAC; each track 90 s of tones.

mpd_pid=
mpd_make_music() {  # folder
    local music=$1
    mkdir -p "$music/Harbour Lights" "$music/Aero" "$music/loose"
    convert -size 64x64 xc:'#2050a0' "$music/Harbour Lights/cover.jpg"
    convert -size 48x48 xc:'#c04020' "$music/Aero/front.png"
    local n=0
    for title in "Paper Boats" "Copper Wire"; do
        n=$((n + 1))
        sox -q -n -b 16 -r 22050 -c 1 "$music/tone.wav" synth 90 sine $((300 + n * 100)) vol 0.1
        oggenc -Q -a "The Lantern Choir" -l "Harbour Lights" -t "$title" -N "$n" \
            -o "$music/Harbour Lights/0$n.ogg" "$music/tone.wav"
    done
    sox -q -n -r 22050 -c 1 "$music/Aero/01.flac" synth 90 sine 660 vol 0.1
    metaflac --set-tag="ARTIST=Sigur Ærøskøbing" --set-tag="TITLE=Über \"Café\" 東京" \
        --set-tag="ALBUM=Ærø Café" --set-tag="TRACKNUMBER=1" \
        --import-picture-from="3||||$music/Aero/front.png" "$music/Aero/01.flac"
    rm "$music/Aero/front.png"
    sox -q -n -r 22050 -c 1 "$music/loose/untagged tone.flac" synth 90 sine 770 vol 0.1
    rm -f "$music/tone.wav"
}

mpd_start() {  # work folder
    local work=$1
    mkdir -p "$work/mpd/playlists"
    [ -d "$work/music" ] || mpd_make_music "$work/music"
    MPD_PORT=${MPD_PORT:-$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')}
    export MPD_HOST=127.0.0.1 MPD_PORT
    cat >"$work/mpd/mpd.conf" <<CONF
music_directory "$work/music"
playlist_directory "$work/mpd/playlists"
db_file "$work/mpd/database"
log_file "$work/mpd/log"
bind_to_address "127.0.0.1"
port "$MPD_PORT"
zeroconf_enabled "no"
audio_output {
    type "null"
    name "silence"
}
CONF
    mpd --no-daemon "$work/mpd/mpd.conf" >>"$work/mpd/stdout" 2>&1 &
    mpd_pid=$!
    local i
    for i in $(seq 100); do mpc -q status >/dev/null 2>&1 && break; sleep 0.1; done
    mpc -q --wait update
}

mpd_stop() {
    [ -n "$mpd_pid" ] || return 0
    kill "$mpd_pid" 2>/dev/null || true
    wait "$mpd_pid" 2>/dev/null || true
    mpd_pid=
}
