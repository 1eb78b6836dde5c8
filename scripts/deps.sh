#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs, through apt, whatever the build, the tests and the programs at run time need and this
# machine lacks, and says what it installs. Arguments name further packages a particular test needs
# (scripts/test-win32.sh).
set -euo pipefail

packages=(
  # the build
  cmake g++ make pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev libasio-dev
  # Wayland: client code generated from the protocols' XML, Qt's native interface for the board's
  # surface, sd-bus for GNOME's idle monitor
  libwayland-dev wayland-protocols plasma-wayland-protocols qt6-base-private-dev libsystemd-dev
  # the metafile helper: WMF through libwmf, EMF through libemf2svg and Qt's SVG renderer,
  # no network through seccomp
  qt6-svg-dev libwmf-dev libemf2svg-dev libseccomp-dev
  # at run time: libwmf draws text with the URW base fonts, which it only recommends
  fonts-urw-base35
  # the tests: a virtual screen, a mouse, screenshots, a session bus
  xvfb xauth xdotool x11-utils imagemagick fonts-liberation python3
  fonts-noto-cjk  # the package recommends it: screenshots of names in CJK scripts
  dbus-daemon
  clang-14 libclang-rt-14-dev libfuzzer-14-dev  # scripts/fuzz.sh (the runtimes are only recommended)
  libxcb1-dev xscreensaver lintian dpkg-dev
  mpd mpc sox libsox-fmt-base flac vorbis-tools
  # velmora-idle under real compositors: headless sway, mutter and KWin, screenshots, keys (wtype;
  # mutter's remote desktop through python3-dbus), the board on Qt's Wayland platform
  sway grim wtype mutter kwin-wayland qt6-wayland python3-dbus
  cage  # the board as a kiosk: under headless cage in its test, and its unit on a box
  # velmora-jukebox --mpris: sd-bus, libcurl for covers over HTTP; desktop players for its tests
  libsystemd-dev libcurl4-openssl-dev mpv mpv-mpris vlc-bin vlc-plugin-base
  systemd curl  # the MPRIS tests drive players with busctl and wait for a web server with curl
  shairport-sync  # AirPlay: publishes what it receives through MPRIS on the system bus
  # velmora-web: Boost.Beast on Boost.Asio, Boost.JSON; its tests in real browsers through
  # WebDriver (Chromium, and WebKit: the engine of the tablets' Safari)
  libboost1.81-dev libboost-json1.81-dev chromium chromium-driver python3-selenium webkit2gtk-driver
  # the arm64 packages installed into a fresh arm64 root (scripts/arm64-root-check.sh)
  debootstrap qemu-user-static binfmt-support zstd
  "$@"
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
((${#missing[@]})) || exit 0

echo "deps.sh: installing ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
# Another apt (an upgrade, another build) may hold the package lock: wait for it, up to 10 minutes.
lock=(-o DPkg::Lock::Timeout=600)
"${sudo_cmd[@]}" apt-get "${lock[@]}" update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get "${lock[@]}" install -y -qq \
  --no-install-recommends "${missing[@]}"
