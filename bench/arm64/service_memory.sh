#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The service's resident memory following a native MPD with browser pages and boards, measured,
# never asserted:
#   bench/arm64/service_memory.sh ROOT [SECONDS]      velmora-jukebox installed in ROOT, run there
#                                                     through chroot (arm64: under qemu-user)
#   bench/arm64/service_memory.sh --native DIR [SECONDS]   DIR/usr/bin/velmora-jukebox on the host
# In a network namespace of its own: a private MPD playing the test music (tests/e2e/mpd_server.sh)
# on repeat, `velmora-jukebox --mpd ... --web ...`, then bench/arm64/load.py with PAGES browser
# pages (default 10) and BOARDS boards (default 2) for SECONDS (default 60).
set -euo pipefail
cd "$(dirname "$0")/../.."
if [ "$1" = --native ]; then
  run=("$(realpath "$2")/usr/bin/velmora-jukebox")
  covers=covers  # in the work folder
  shift 2
else
  run=(chroot "$(realpath "$1")" /usr/bin/env -i HOME=/tmp/velmora-home PATH=/usr/bin:/bin
    LANG=C.UTF-8 velmora-jukebox)
  covers=/tmp/velmora-covers  # inside the root
  shift
fi
seconds=${1:-60}
work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-memory.XXXXXX")
trap 'rm -rf "$work"' EXIT
export work covers seconds PAGES=${PAGES:-10} BOARDS=${BOARDS:-2}

unshare --net bash -c '
  set -euo pipefail
  ip link set lo up
  source tests/e2e/mpd_server.sh
  service=
  trap "[ -z \"\$service\" ] || { kill \$service; wait \$service; }; mpd_stop" EXIT
  mpd_start "$work"
  cd "$work"
  mpc -q add /
  mpc -q repeat on
  mpc -q play
  "$@" --mpd "127.0.0.1:$MPD_PORT" --port 47321 --web 127.0.0.1:8080 --cover-dir "$covers" \
    >"$work/service.log" 2>&1 &
  service=$!
  python3 "$OLDPWD/bench/arm64/load.py" $service 47321 8080 "$PAGES" "$BOARDS" "$seconds" ||
    { cat "$work/service.log"; exit 1; }' service-memory "${run[@]}"
