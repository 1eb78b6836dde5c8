#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Screenshots of the board for docs/screens.md: each screen size and dpi on its own virtual display
# (Xvfb), fed by the demo jukebox, in the design colours and in one custom scheme.
#
#   scripts/screens.sh [OUT_DIR]     default docs/screenshots
#
# VELMORA_BUILD_DIR picks another build folder than build/default.
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-docs/screenshots}")
build="${VELMORA_BUILD_DIR:-build/default}"
if [ -z "${VELMORA_NO_BUILD:-}" ]; then
  scripts/deps.sh
  cmake --preset default -B "$build" >/dev/null
  cmake --build "$build" --target velmora2000 velmora-jukebox -j2
fi
board="$build/src/app/velmora2000"
jukebox="$build/jukebox/velmora-jukebox"
mkdir -p "$out"

work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT

# shot WIDTH HEIGHT DPI SCHEME FILE [JUKEBOX ARGS]: the board as it stays, after 30 s of running
# (VELMORA_SHOT_AFTER seconds), fed by the demo jukebox or by the jukebox ARGS.
shot() {
  local width=$1 height=$2 dpi=$3 scheme=$4 file=$5
  shift 5
  local source=("$@")
  ((${#source[@]})) || source=(--demo)
  local config="$work/config-$scheme" display
  local port
  port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  mkdir -p "$config/velmora2000"
  printf '[Service]\nHost=127.0.0.1\nPort=%s\n' "$port" >"$config/velmora2000/Slinkx.ini"
  if [ "$scheme" = custom ]; then
    # Background navy, titles white, artist orange, album sky blue, times lime, headings gold,
    # next song lavender (0x00BBGGRR).
    printf '[Default_color]\nBackground=%s\nTitle=%s\nArtist=%s\nCDTitle=%s\nTime=%s\nSection=%s\nNextSong=%s\n' \
      $((0x402010)) $((0xFFFFFF)) $((0x00A5FF)) $((0xEBCE87)) $((0x00FF80)) $((0x00D7FF)) \
      $((0xFAE6E6)) >"$config/velmora2000/Velmora2000.ini"
  fi
  "$jukebox" "${source[@]}" --port "$port" >"$work/jukebox.log" 2>&1 &
  local jukebox_pid=$!
  for _ in $(seq 50); do grep -q listening "$work/jukebox.log" && break; sleep 0.1; done
  xvfb-run -a -s "-screen 0 ${width}x${height}x24 -dpi $dpi -noreset -nolisten tcp" \
    env XDG_CONFIG_HOME="$config" QT_FONT_DPI="$dpi" sh -c '
      "$1" /S & pid=$!
      sleep "$3"
      import -window root "$2"
      kill $pid; wait $pid 2>/dev/null || true' sh "$board" "$file" "${VELMORA_SHOT_AFTER:-30}"
  kill "$jukebox_pid"
  wait "$jukebox_pid" 2>/dev/null || true
  echo "Wrote $file"
}

for size in 800x600 1280x1024 1920x1080 3840x2160; do
  shot "${size%x*}" "${size#*x}" 96 design "$out/board-$size.png"
done
shot 1920 1080 144 design "$out/board-1920x1080-144dpi.png"
shot 3840 2160 192 design "$out/board-3840x2160-192dpi.png"
shot 1280 1024 96 custom "$out/board-1280x1024-custom.png"

# Names too long for their fields: a 120-character title and a long next title, drawn smaller and
# cut with "…"; an album in two scripts, Latin and CJK.
long=$work/long
mkdir -p "$long"
touch "$long/1.flac" "$long/2.flac"
convert -size 256x256 gradient:'#203880-#101830' "$long/cover.jpg"
title="Variations on a Theme by the Harbour Lights, for Strings, Brass, Choir and Foghorn: Part Two, the Long Night Sea Passage"
cat >"$long/disc.m3u" <<M3U
#EXTM3U
#EXTALB:Ærø Café 東京 — Live from the Autumn Tour
#EXTINF:241,The Lantern Choir & the Whitfield-Montgomery Chamber Orchestra - $title
1.flac
#EXTALB:Night Ferry
#EXTINF:222,Marlow & Finch - Copper Wire Heart (Extended Twelve-Inch Remix by the Midnight Harbour Collective)
2.flac
M3U
shot 1280 1024 96 design "$out/board-long-names.png" --playlist "$long/disc.m3u"
