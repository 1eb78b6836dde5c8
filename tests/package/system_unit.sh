#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The system unit of velmora-jukebox: systemd-analyze verifies it, then its command line runs as
# systemd would run it: the options file read as an EnvironmentFile, $VELMORA_JUKEBOX_OPTIONS
# split into words, an unprivileged user with HOME=/ and no settings, CACHE_DIRECTORY set. It must
# follow a real MPD, serve a board on its port, start velmora-web, which answers browsers and
# serves the cover, and write the covers into the cache folder. Only the ports are the test's own
# (free ones instead of 6600, 8047 and 47321).
#   system_unit.sh UNIT OPTIONS-FILE VELMORA-JUKEBOX VELMORA-WEB
set -euo pipefail
here=$(cd "$(dirname "$0")/../e2e" && pwd)
unit=$(realpath "$1") options=$(realpath "$2")
work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-unit.XXXXXX")
chmod 755 "$work"
service_pid= board_pid=
source "$here/mpd_server.sh"
source "$here/wait_for.sh"
cleanup() {
    for pid in $board_pid $service_pid; do kill "$pid" 2>/dev/null || true; done
    mpd_stop
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*"
    for log in "$work"/*.log; do echo "--- $log"; cat "$log"; done
    exit 1
}
free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }

# The programs side by side, as installed, where the unit's user can run them.
mkdir -p "$work/bin"
cp "$3" "$4" "$work/bin/"

# 1. The unit as systemd reads it, with the program where the copy says.
mkdir "$work/unit"
sed "s|^ExecStart=velmora-jukebox |ExecStart=$work/bin/velmora-jukebox |" "$unit" \
    >"$work/unit/velmora-jukebox.service"
verified=$(systemd-analyze verify --man=no "$work/unit/velmora-jukebox.service" 2>&1) ||
    fail "systemd-analyze verify: $verified"
[ -z "$verified" ] || fail "systemd-analyze verify warns: $verified"

# 2. The command line: Environment= first, the options file over it, as systemd reads both.
mapfile -d '' command < <(python3 - "$unit" "$options" <<'PY'
import re, shlex, sys
unit, options = (open(p, encoding="utf-8").read().splitlines() for p in sys.argv[1:3])
env, exec_start = {}, None
def assign(text):
    name, _, value = text.partition("=")
    value = value.strip()
    if len(value) >= 2 and value[0] == value[-1] and value[0] in "'\"":
        value = value[1:-1]
    env[name.strip()] = value
for line in unit:
    if line.startswith("Environment="):
        for item in shlex.split(line[len("Environment="):]):
            assign(item)
    elif line.startswith("ExecStart="):
        exec_start = line[len("ExecStart="):]
for line in options:  # an EnvironmentFile: KEY=VALUE, '#' and ';' start comments
    if line.strip() and line.lstrip()[0] not in "#;":
        assign(line)
words = []
for word in exec_start.split():  # $NAME: the value's words; ${NAME}: one word
    whole = re.fullmatch(r"\$([A-Za-z_][A-Za-z0-9_]*)", word)
    words += env.get(whole.group(1), "").split() if whole else [
        re.sub(r"\$\{(\w+)\}", lambda m: env.get(m.group(1), ""), word)]
sys.stdout.write("\0".join(words) + "\0")
PY
)
echo "The unit runs: ${command[*]}"
[ "${command[0]}" = velmora-jukebox ] || fail "the unit starts ${command[0]}"
port=$(free_port) web=$(free_port)
mpd_start "$work"
mpc -q add /
mpc -q play
args=()
for word in "${command[@]:1}"; do
    case $word in
        localhost:6600) args+=("127.0.0.1:$MPD_PORT") ;;
        0.0.0.0:8047) args+=("127.0.0.1:$web") ;;
        *) args+=("$word") ;;
    esac
done
[[ " ${args[*]} " == *" --mpd 127.0.0.1:$MPD_PORT "* && " ${args[*]} " == *" --web 127.0.0.1:$web "* ]] ||
    fail "the options do not follow MPD on localhost with the browser board: ${command[*]}"

cache=$work/cache
mkdir "$cache"
user=()
if [ "$(id -u)" = 0 ]; then
    chown 65534:65534 "$cache"
    user=(setpriv --reuid=65534 --regid=65534 --clear-groups --)
fi
env -i PATH=/usr/bin:/bin HOME=/ LANG=C.UTF-8 CACHE_DIRECTORY="$cache" "${user[@]}" \
    "$work/bin/velmora-jukebox" "${args[@]}" --port "$port" >"$work/service.log" 2>&1 &
service_pid=$!
wait_for 20 "$work/service.log" listening || fail "the service did not start"

# 3. A board on the service's port is told what MPD plays, its cover in the cache folder.
python3 "$here/link_board.py" "$port" >"$work/board.log" 2>&1 &
board_pid=$!
wait_for 20 "$work/board.log" "playing\\[.*\"$cache/covers/[0-9a-f]{16}\\.png\"" ||
    fail "the board did not get the playing song with its cover in $cache/covers"
cover=$(find "$cache/covers" -name '*.png' | head -1)
[ "$(stat -c %u "$cover")" = "$(stat -c %u "$cache")" ] || fail "the cover is not the unit user's"

# 4. velmora-web, started by the service as its user, answers and serves that cover.
until_true 20 curl -fsS -o /dev/null "http://127.0.0.1:$web/" || fail "velmora-web does not answer"
picture=
for _ in $(seq 100); do
    picture=$(curl -fsS -N --max-time 2 "http://127.0.0.1:$web/events" 2>/dev/null |
        grep -o '"/cover/[0-9a-f]*"' | head -1 | tr -d '"') || true
    [ -n "$picture" ] && break
    sleep 0.2
done
[ -n "$picture" ] || fail "velmora-web shows no cover"
curl -fsS "http://127.0.0.1:$web$picture" | cmp -s - "$cover" ||
    fail "velmora-web serves another picture than $cover"

kill "$service_pid"
status=0
wait "$service_pid" || status=$?
service_pid=
[ "$status" = 0 ] || fail "the service ended with $status on SIGTERM"
echo "system unit: 1 passed, 0 failed"
