#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs what is missing, builds, and shows the now-playing board full screen ("/S").
# Without a display it runs on a virtual one (Xvfb, 1280 x 1024). A mouse press or move ends it.
#
#   scripts/run-board.sh                      the board, until the mouse moves
#   scripts/run-board.sh --screenshot F.png   on a virtual display: a picture of the board, then end
#
# VELMORA_BUILD_DIR picks another build folder than build/default.
set -euo pipefail

# The screenshot: the board on its own virtual display, captured once it is up.
if [ "${1:-}" = "--capture-here" ]; then
  program="$2" shot="$3"
  "$program" /S &
  pid=$!
  for _ in $(seq 100); do
    xdotool search --onlyvisible --classname velmora2000 >/dev/null 2>&1 && break
    sleep 0.1
  done
  sleep 0.5  # the first paint
  import -window root "$shot"
  kill "$pid"
  wait "$pid" 2>/dev/null || true
  echo "Wrote $shot"
  exit 0
fi

cd "$(dirname "$0")/.."

shot=""
if [ "${1:-}" = "--screenshot" ]; then
  shot="${2:?--screenshot needs a file name}"
  shot="$(realpath -m "$shot")"
fi

scripts/deps.sh
build="${VELMORA_BUILD_DIR:-build/default}"
cmake --preset default -B "$build" >/dev/null
cmake --build "$build" --target velmora2000 -j2
program="$build/src/app/velmora2000"

if [ -z "$shot" ]; then
  if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    exec "$program" /S
  fi
  echo "No display: the board runs on a virtual 1280x1024 screen (Ctrl+C ends it)."
  exec xvfb-run -a -s "-screen 0 1280x1024x24 -noreset -nolisten tcp" "$program" /S
fi

xvfb-run -a -s "-screen 0 1280x1024x24 -noreset -nolisten tcp" scripts/run-board.sh --capture-here \
  "$program" "$shot"
