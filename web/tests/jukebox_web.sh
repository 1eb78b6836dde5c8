#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# velmora-jukebox --web PORT: the board for browsers comes up beside the service with one command,
# follows it, and ends with it.
#
#   jukebox_web.sh VELMORA_JUKEBOX VELMORA_WEB
set -euo pipefail
jukebox=$1
web=$2
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
source "$(dirname "$0")/../../tests/e2e/wait_for.sh"
export XDG_CONFIG_HOME=$work/config XDG_CACHE_HOME=$work/cache
ports=($(python3 -c 'import socket
for _ in range(2):
    s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'))

# velmora-web from PATH, as when it is installed beside the service.
PATH="$(dirname "$web"):$PATH" "$jukebox" --demo --port "${ports[0]}" --web "${ports[1]}" \
  >"$work/service.log" 2>&1 &
service=$!
until_true 10 curl -sf -o /dev/null "http://127.0.0.1:${ports[1]}/"
curl -s -m 3 "http://127.0.0.1:${ports[1]}/events" >"$work/events" || true
grep -q '"link":true' "$work/events" || { echo "the page's board never had the jukebox"; exit 1; }
grep -q '"name":"Title","kind":"field"' "$work/events" || { echo "no title in the board"; exit 1; }
web_pid=$(pgrep -P "$service" -x velmora-web)

kill -TERM "$service"
wait "$service"
until_true 5 bash -c "! kill -0 $web_pid" || { echo "velmora-web outlived the service"; exit 1; }

# Without the service's own port, velmora-web could not find it: refused at once.
if "$jukebox" --demo --port 0 --web "${ports[1]}" 2>"$work/refusal"; then exit 1; fi
grep -q -- "--web needs the service's own --port" "$work/refusal"
echo "velmora-jukebox --web: the board for browsers came and went with the service"
