#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The real board under an X server (run through xvfb-run):
#   1. a disc picture that cannot be loaded: the track still shows whole (total time, and the
#      next song is asked for) and the previous cover does not stay;
#   2. the options dialog opened on a fresh store and closed with "OK": the stored colours are the
#      ones the board shows, not black.
# SHOTS=<folder> also keeps a screenshot of each.
#   mends.sh BOARD
set -euo pipefail
board=$(realpath "$1")
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$XDG_CONFIG_HOME/velmora2000" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
fail() { echo "FAIL: $*" >&2; exit 1; }
shot() { if [ -n "${SHOTS:-}" ]; then mkdir -p "$SHOTS"; import -window root "$SHOTS/$1"; fi; }

# --- 1. the picture ---
convert -size 64x64 xc:red "$work/cover.png"
cat >"$work/service.py" <<'PY'
import socket, sys, time
cover, log = sys.argv[1], open(sys.argv[3], "w")
server = socket.socket()
server.bind(("127.0.0.1", 0))
server.listen(1)
open(sys.argv[2], "w").write(str(server.getsockname()[1]))
client, _ = server.accept()
lines = client.makefile("rb")
def msg(text):
    client.sendall(("MSG cdjr " + text + "\n").encode())
def until(count):  # reads the board's lines until it asked for the pointer count times
    while sum(1 for l in seen if l == "SEND cdj playlist_getpointer") < count:
        line = lines.readline()
        if not line:
            sys.exit("the board hung up")
        seen.append(line.decode().strip())
        log.write(seen[-1] + "\n"); log.flush()
seen = []
seen.append(lines.readline().decode().strip())
client.sendall(b"VELMORA-LINK 1 mends service\n")
msg('playing[\"Old Album\",\"Old Artist\",\"Old Title\",\"1:11\",\"%s\",\"7\",\"\"]' % cover)
until(1)
msg('playlist_item[\"3\",\"Next Album\",\"Next Artist\",\"Next Title\",\"2:00\",\"\",\"x\",\"1\"]')
msg('playing[\"New Album\",\"New Artist\",\"New Title\",\"4:56\",\"/no/such/cover.jpg\",\"7\",\"\"]')
until(2)
log.write("DONE\n"); log.flush()
time.sleep(30)
PY
python3 "$work/service.py" "$work/cover.png" "$work/port" "$work/service.log" &
for _ in $(seq 50); do [ -s "$work/port" ] && break; sleep 0.1; done
printf '[Service]\nHost=127.0.0.1\nPort=%s\n' "$(cat "$work/port")" >"$XDG_CONFIG_HOME/velmora2000/Slinkx.ini"
"$board" /S &
board_pid=$!
for _ in $(seq 100); do grep -q DONE "$work/service.log" 2>/dev/null && break; sleep 0.1; done
grep -q DONE "$work/service.log" || fail "the track with a missing picture did not ask for the next song"
sleep 1
shot board-missing-picture.png
kill "$board_pid"; wait "$board_pid" 2>/dev/null || true
echo "picture: the track with a missing cover went on to ask for the next song"

# --- 2. the dialog ---
rm -f "$XDG_CONFIG_HOME/velmora2000/Velmora2000.ini"
"$board" /C &
dialog_pid=$!
for _ in $(seq 100); do xdotool search --name "Velmora2000 Options" >/dev/null 2>&1 && break; sleep 0.1; done
sleep 1
shot dialog-fresh-store.png
xdotool search --name "Velmora2000 Options" windowactivate --sync 2>/dev/null || true
xdotool key space  # the focus opens on "OK"
for _ in $(seq 100); do kill -0 "$dialog_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$dialog_pid" 2>/dev/null && fail "OK did not close the dialog"
ini="$XDG_CONFIG_HOME/velmora2000/Velmora2000.ini"
[ -f "$ini" ] || fail "OK stored nothing"
for expected in Time=49152 Section=12632256 Title=49344 Artist=49344 CDTitle=49344 NextSong=49344 Background=0; do
  grep -qx "$expected" "$ini" || fail "expected $expected in $(cat "$ini")"
done
echo "dialog: OK on a fresh store kept the board's colours"
