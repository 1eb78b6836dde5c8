#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Checks the two built packages, velmora-jukebox and velmora2000: what each holds, what each
# depends on, what lintian says, and that the programs unpacked from both work together. Prints
# the sizes.
#   check_deb.sh velmora-jukebox_*.deb velmora2000_*.deb
set -euo pipefail
jukebox=$(realpath "$1") board=$(realpath "$2")

work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-deb.XXXXXX")
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*"
    exit 1
}
field() { dpkg-deb --field "$1" "$2"; }
names() { field "$1" "$2" | tr ',' '\n' | sed -E 's/^ +//; s/ .*//'; }

# 1. The files each package holds, and none of the other's.
holds() {  # deb, paths...
    local deb=$1
    shift
    dpkg-deb --contents "$deb" | awk '{ print $6 }' | sed 's|^\./|/|' >"$work/contents"
    for path in "$@"; do
        grep -qx "$path" "$work/contents" || fail "$(basename "$deb") lacks $path"
    done
}
[ "$(field "$jukebox" Package)" = velmora-jukebox ] && [ "$(field "$board" Package)" = velmora2000 ] ||
    fail "the packages are not velmora-jukebox and velmora2000, in that order"
holds "$jukebox" /usr/bin/velmora-jukebox /usr/bin/velmora-web \
    /usr/share/man/man1/velmora-jukebox.1.gz /usr/share/man/man1/velmora-web.1.gz \
    /usr/lib/systemd/user/velmora-jukebox.service /usr/lib/systemd/user/velmora-web.service \
    /usr/lib/systemd/system/velmora-jukebox.service /usr/lib/sysusers.d/velmora-jukebox.conf \
    /etc/default/velmora-jukebox /usr/share/doc/velmora-jukebox/copyright \
    /usr/share/doc/velmora-jukebox/changelog.Debian.gz /usr/share/doc/velmora-jukebox/web.md
jukebox_files=$(sed -n '/[^/]$/p' "$work/contents")
holds "$board" /usr/bin/velmora2000 /usr/bin/velmora-idle /usr/bin/velmora-metafile \
    /usr/share/xscreensaver/config/velmora2000.xml /usr/share/applications/velmora2000.desktop \
    /usr/share/man/man1/velmora2000.1.gz /usr/share/man/man1/velmora-idle.1.gz \
    /usr/lib/systemd/user/velmora-idle.service /usr/share/doc/velmora2000/copyright \
    /usr/share/doc/velmora2000/changelog.Debian.gz /usr/share/doc/velmora2000/linux.md \
    /usr/share/doc/velmora2000/screenshots/xscreensaver-1024x768.png \
    /usr/lib/systemd/system/velmora-kiosk.service /usr/lib/sysusers.d/velmora-kiosk.conf \
    /usr/share/doc/velmora2000/kiosk.md
shared=$(comm -12 <(echo "$jukebox_files" | sort) <(sed -n '/[^/]$/p' "$work/contents" | sort))
[ -z "$shared" ] || fail "both packages hold $shared"

# 2. The options file is a conffile, and nothing enables the system units.
dpkg-deb --ctrl-tarfile "$jukebox" | tar -xO ./conffiles | grep -qx /etc/default/velmora-jukebox ||
    fail "/etc/default/velmora-jukebox is not a conffile"
for deb in "$jukebox" "$board"; do
    ! dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./postinst | grep -v '^ *#' |
        grep -qE 'systemctl|deb-systemd|invoke-rc.d' ||
        fail "$(basename "$deb")'s postinst enables or starts its system unit"
done

# 3. Dependencies found by dpkg-shlibdeps, per package, plus what no library names. The service's
#    package runs on a box with no display: no Qt, X11 or Wayland library.
version=$(field "$board" Version)
[ "$(field "$jukebox" Version)" = "$version" ] || fail "the two packages differ in version"
for package in libqt6widgets6 libqt6network6 libqt6dbus6 libc6 libstdc++6 fonts-liberation \
    velmora-jukebox; do
    names "$board" Depends | grep -qxF "$package" || fail "velmora2000 lacks $package: $(field "$board" Depends)"
done
field "$board" Depends | grep -qF "velmora-jukebox (= $version)" ||
    fail "velmora2000 does not depend on velmora-jukebox $version: $(field "$board" Depends)"
for package in libc6 libstdc++6; do
    names "$jukebox" Depends | grep -qxF "$package" || fail "velmora-jukebox lacks $package"
done
display=$(names "$jukebox" Depends | grep -E '^(libqt|qt6-|libx|libwayland|libgl|libegl|libdrm|libgbm|libfontconfig|libfreetype)' || true)
[ -z "$display" ] || fail "velmora-jukebox depends on display libraries: $display"
for relation in Replaces Breaks; do
    field "$jukebox" "$relation" | grep -qE '^velmora2000 \(<< [0-9]' ||
        fail "velmora-jukebox has no $relation on the older velmora2000: $(field "$jukebox" "$relation")"
done
field "$board" Recommends | grep -qw fonts-noto-cjk || fail "no CJK font recommended"
field "$board" Recommends | grep -qw qt6-wayland || fail "no Qt Wayland platform recommended"
# The service loads libcurl itself (no shlibdeps): the version whose options it sets.
field "$jukebox" Recommends | grep -qF 'libcurl4 (>= 7.85.0)' ||
    fail "velmora-jukebox does not recommend libcurl4 from 7.85.0"

# 4. Debian's own checker: no errors.
lintian --fail-on error,warning --tag-display-limit 0 "$jukebox" "$board" | tee "$work/lintian.txt" ||
    fail "lintian found errors or warnings"

# 5. Unpacked into a scratch root, the service and the board talk: "/P" opens the link and closes
#    it again, and ends with status 0.
root=$work/root
dpkg -x "$jukebox" "$root"
dpkg -x "$board" "$root"
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_RUNTIME_DIR=$work/run
mkdir -p "$XDG_CONFIG_HOME/velmora2000" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
printf '[Service]\nHost=127.0.0.1\nPort=%s\n' "$port" >"$XDG_CONFIG_HOME/velmora2000/Slinkx.ini"
"$root/usr/bin/velmora-jukebox" --demo --port "$port" --transcript "$work/transcript.log" \
    >"$work/jukebox.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do grep -q listening "$work/jukebox.log" 2>/dev/null && break; sleep 0.1; done
QT_QPA_PLATFORM=offscreen timeout 20 "$root/usr/bin/velmora2000" /P ||
    fail "the installed velmora2000 /P exited with $?"
for _ in $(seq 50); do grep -q '< CLOSE cdjr' "$work/transcript.log" 2>/dev/null && break; sleep 0.1; done
sed -nE 's/^[^ ]+ #[0-9]+ (< .*)$/\1/p' "$work/transcript.log" | diff - <(printf '%s\n' \
    '< VELMORA-LINK 1' '< OPEN cdj type=devtx' '< OPEN cdjr type=devrx' \
    '< SEND cdj notify_playing_item[on]' '< SEND cdj notify_playing_timecode[on]' \
    '< SEND cdj echo[cdjon]' '< SEND cdj notify_playing_item[off]' \
    '< SEND cdj notify_playing_timecode[off]' '< CLOSE cdj' '< CLOSE cdjr') ||
    fail "the installed board's conversation differs"

# 6. velmora-idle with neither a Wayland compositor nor a session bus says what it looked for.
status=0
env -u WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS=unix:path=$work/no-bus "$root/usr/bin/velmora-idle" \
    2>"$work/idle.err" || status=$?
[ "$status" = 2 ] && grep -q 'org_kde_kwin_idle' "$work/idle.err" &&
    grep -q 'org.gnome.Mutter.IdleMonitor' "$work/idle.err" ||
    fail "velmora-idle without an idle watch: status $status, $(cat "$work/idle.err")"

for deb in "$jukebox" "$board"; do
    echo "$(basename "$deb"): $(stat -c %s "$deb") bytes, installed size $(field "$deb" Installed-Size) KiB"
done
echo "package: 1 passed, 0 failed"
