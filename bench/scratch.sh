# SPDX-License-Identifier: MIT
# Sourced by the bench scripts: a scratch folder, removed on exit together with every process
# whose id is added to `pids`; the program's own settings folder inside it, so nothing of the
# user's is read or written; use_port points the board at a jukebox service on loopback;
# start_xvfb [ARG...] starts a 1280 x 1024 X server and exports its DISPLAY.
work="$(mktemp -d)"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$XDG_CONFIG_HOME/velmora2000" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
use_port() { printf '[Service]\nHost=127.0.0.1\nPort=%s\n' "$1" >"$XDG_CONFIG_HOME/velmora2000/Slinkx.ini"; }

start_xvfb() {
  exec 3>"$work/display"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 "$@" -noreset -nolisten tcp >/dev/null 2>&1 &
  pids+=($!)
  exec 3>&-
  for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
  export DISPLAY=":$(cat "$work/display")"
}
