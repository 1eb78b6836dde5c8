#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# velmora-jukebox --mpris vlc with a real VLC on a session bus of the test's own, and a board
# stand-in (link_board.py): "Next Up:" is the next entry of VLC's track list (VLC says it has
# none in HasTrackList, and has one), blank after the last; each change is one "playing", with no
# blank between (VLC stops for a moment between two tracks), and a stop is shown; a cover that
# VLC names by an http:// URL comes from a loopback server.
#   mpris_vlc.sh JUKEBOX
set -euo pipefail
jukebox=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)

# VLC does not run as root: the test goes on as an ordinary user, with copies it can reach.
if [ "$(id -u)" = 0 ]; then
    work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-vlc.XXXXXX")
    mkdir "$work/bin" "$work/e2e"
    cp "$jukebox" "$work/bin/"
    cp "$here"/*.sh "$here"/*.py "$work/e2e/"
    chown -R nobody:nogroup "$work"
    chmod 755 "$work"
    exec setpriv --reuid=nobody --regid=nogroup --clear-groups \
        env VELMORA_VLC_WORK="$work" "$work/e2e/$(basename "$0")" "$work/bin/$(basename "$jukebox")"
fi
source "$here/mpris_session.sh"
in_own_session "$@"
source "$here/transcript_marks.sh"
work=${VELMORA_VLC_WORK:-$(mktemp -d)}

export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_CACHE_HOME=$work/home/.cache
mkdir -p "$HOME" "$work/music" "$work/web"
music=$work/music
sox -q -n -b 16 -r 22050 -c 1 "$music/tone.wav" synth 30 sine 440 vol 0.1
n=0
for title in "Paper Boats" "Copper Wire" "Undertow"; do
    n=$((n + 1))
    oggenc -Q -a "The Lantern Choir" -l "Harbour Lights" -t "$title" -o "$music/0$n.ogg" "$music/tone.wav"
done
convert -size 48x48 xc:'#20a040' "$work/web/green.png"
web_port=$(free_port)
# VLC fetches a playlist's art itself and then names its own copy: the server answers only the
# service, so that VLC names the http:// URL.
python3 - "$web_port" "$work/web" >"$work/http.log" 2>&1 <<'PY' &
import functools, http.server, sys
class Handler(http.server.SimpleHTTPRequestHandler):
    def do_GET(self):
        if not self.headers.get("User-Agent", "").startswith("velmora-jukebox"):
            return self.send_error(404)
        super().do_GET()
http.server.ThreadingHTTPServer(("127.0.0.1", int(sys.argv[1])),
                                functools.partial(Handler, directory=sys.argv[2])).serve_forever()
PY
pids+=($!)
cat >"$music/list.xspf" <<XSPF
<?xml version="1.0" encoding="UTF-8"?>
<playlist xmlns="http://xspf.org/ns/0/" version="1"><trackList>
<track><location>file://$music/01.ogg</location><image>http://127.0.0.1:$web_port/green.png</image></track>
<track><location>file://$music/02.ogg</location></track>
<track><location>file://$music/03.ogg</location></track>
</trackList></playlist>
XSPF

port=$(free_port)
log=$work/bridge.log
start_jukebox --mpris vlc
until grep -q listening "$work/jukebox.log"; do
    [ $SECONDS -lt 20 ] || fail "the service did not start"
    sleep 0.1
done
python3 "$here/link_board.py" "$port" >"$work/board.log" 2>&1 &
pids+=($!)
until curl -s -o /dev/null "http://127.0.0.1:$web_port/green.png"; do
    [ $SECONDS -lt 20 ] || fail "the loopback web server did not start"
    sleep 0.1
done
cvlc -I dummy --control dbus --aout=dummy "$music/list.xspf" >"$work/vlc.log" 2>&1 &
pids+=($!)

playing='^> MSG cdjr playing\["Harbour Lights","The Lantern Choir"'
# The cover comes in a second playing, or already in the first when the fetch was done before the
# track's Next Up was known.
wait_for 20 "$playing,\"Paper Boats\",\"0:30\",\"[^\"]*\",\"1\",\"1\"\]" ||
    fail "the first playing did not come"
wait_for 20 "$playing,\"Paper Boats\",\"0:30\",\"[^\"]+\.png\",\"1\",\"1\"\]" ||
    fail "no playing with the cover fetched over http://"
cover=$(since_mark | grep -oE '"[^"]+\.png"' | tail -n 1 | tr -d '"')
cmp -s "$cover" "$work/web/green.png" || fail "the cover $cover is not the picture served"
pass "a cover over http:// reaches the board"

next_up() {  # title expected as "Next Up:", or "-" for the blanking entry
    local want
    if [ "$1" = - ]; then want='playlist_item\["[0-9]+",""," ","","","","","0"\]'
    else want="playlist_item\\[\"[0-9]+\",\"Harbour Lights\",\"The Lantern Choir\",\"$1\","; fi
    wait_for 10 "^> MSG cdjr $want" || fail "Next Up is not '$1'"
}
next_up "Copper Wire"
# VLC stops for a moment between two tracks, and learns its Next Up after: a board is told of each
# change with no blank or earlier track between and nothing twice (a cover VLC finds later may
# follow in a second playing).
change() {  # method, title, its place, Next Up ("-" for none)
    set_mark
    busctl --user call org.mpris.MediaPlayer2.vlc /org/mpris/MediaPlayer2 \
        org.mpris.MediaPlayer2.Player "$1"
    wait_for 10 "$playing,\"$2\",\"0:30\",\"[^\"]*\",\"$3\",\"1\"\]" || fail "$1: not followed"
    next_up "$4"
    sleep 0.5
    local told
    told=$(since_mark | grep '^> MSG cdjr playing\[')
    if grep -qv "\"$2\"" <<<"$told"; then fail "$1 to $2: the board was told another track between"; fi
    [ -z "$(uniq -d <<<"$told")" ] || fail "$1 to $2: the board was told the same playing twice"
}
change Next "Copper Wire" 2 "Undertow"
change Next "Undertow" 3 -
change Previous "Copper Wire" 2 "Undertow"
change Previous "Paper Boats" 1 "Copper Wire"
change Next "Copper Wire" 2 "Undertow"
change Next "Undertow" 3 -
pass "Next Up is the next entry of VLC's track list, blank after the last; each change told once"
set_mark
busctl --user call org.mpris.MediaPlayer2.vlc /org/mpris/MediaPlayer2 org.mpris.MediaPlayer2.Player Stop
wait_for 10 '^> MSG cdjr playing\["","",""' || fail "stop: the board still shows a track"
pass "a stop shows as stopped"
echo "mpris vlc: $passed passed, 0 failed"
