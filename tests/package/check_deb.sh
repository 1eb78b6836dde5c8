#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Checks a built velmora2000 .deb: what it holds, what it depends on, what lintian says, and that
# the programs unpacked from it work together. Prints the installed size.
set -euo pipefail
deb=$(realpath "$1")

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

# 1. The files a user and XScreenSaver look for.
dpkg-deb --contents "$deb" | awk '{ print $6 }' | sed 's|^\./|/|' >"$work/contents"
for path in /usr/bin/velmora2000 /usr/bin/velmora-jukebox /usr/bin/velmora-idle \
    /usr/share/xscreensaver/config/velmora2000.xml /usr/share/applications/velmora2000.desktop \
    /usr/share/man/man1/velmora2000.1.gz /usr/share/man/man1/velmora-jukebox.1.gz \
    /usr/share/man/man1/velmora-idle.1.gz /usr/lib/systemd/user/velmora-idle.service \
    /usr/lib/systemd/user/velmora-jukebox.service /usr/share/doc/velmora2000/copyright \
    /usr/bin/velmora-web /usr/share/man/man1/velmora-web.1.gz \
    /usr/lib/systemd/user/velmora-web.service; do
    grep -qx "$path" "$work/contents" || fail "the package lacks $path"
done

# 2. Dependencies found by dpkg-shlibdeps, plus what no library names.
depends=$(dpkg-deb --field "$deb" Depends)
names=$(echo "$depends" | tr ',' '\n' | sed -E 's/^ +//; s/ .*//')
for package in libqt6widgets6 libqt6network6 libqt6dbus6 libc6 libstdc++6 fonts-liberation; do
    echo "$names" | grep -qxF "$package" || fail "Depends lacks $package: $depends"
done
dpkg-deb --field "$deb" Recommends | grep -qw fonts-noto-cjk || fail "no CJK font recommended"
# The service loads libcurl itself (no shlibdeps): the version whose options it sets.
dpkg-deb --field "$deb" Recommends | grep -qF 'libcurl4 (>= 7.85.0)' ||
    fail "libcurl4 is not recommended from 7.85.0"

# 3. Debian's own checker: no errors.
lintian --fail-on error --tag-display-limit 0 "$deb" | tee "$work/lintian.txt" || fail "lintian found errors"

# 4. Unpacked into a scratch root, the service and the board talk: "/P" opens the link and closes
#    it again, and ends with status 0.
root=$work/root
dpkg -x "$deb" "$root"
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

# 5. velmora-idle with neither a Wayland compositor nor a session bus says what it looked for.
status=0
env -u WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS=unix:path=$work/no-bus "$root/usr/bin/velmora-idle" \
    2>"$work/idle.err" || status=$?
[ "$status" = 2 ] && grep -q 'org_kde_kwin_idle' "$work/idle.err" &&
    grep -q 'org.gnome.Mutter.IdleMonitor' "$work/idle.err" ||
    fail "velmora-idle without an idle watch: status $status, $(cat "$work/idle.err")"

echo "$(basename "$deb"): $(stat -c %s "$deb") bytes, installed size $(dpkg-deb --field "$deb" Installed-Size) KiB"
echo "package: 1 passed, 0 failed"
