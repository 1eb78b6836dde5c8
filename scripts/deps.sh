#!/usr/bin/env bash
# Installs, through apt, whatever the build and the tests need and this machine lacks.
# Arguments name further packages a particular test needs (scripts/test-win32.sh).
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev libasio-dev
  qt6-svg-dev libwmf-dev libemf2svg-dev
  xvfb xauth xdotool x11-utils imagemagick fonts-liberation python3
  dbus-daemon
  mpd mpc sox libsox-fmt-base flac vorbis-tools
  "$@"
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
