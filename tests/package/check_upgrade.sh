#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The upgrade from the single velmora2000 package to the two, for real, with apt on this machine
# (as root): installs OLD.deb, then the new velmora-jukebox and velmora2000 together, checks that
# apt raised no file conflict, that every file of both new packages is in place, that an edited
# /etc/default/velmora-jukebox survives a reinstall, that the system unit is not enabled, and
# removes both again.
#   check_upgrade.sh OLD.deb NEW-velmora-jukebox.deb NEW-velmora2000.deb
set -euo pipefail
[ "$(id -u)" = 0 ] || { echo "SKIP: the upgrade check installs packages: run it as root"; exit 0; }
old=$(realpath "$1") jukebox=$(realpath "$2") board=$(realpath "$3")
fail() {
    echo "FAIL: $*"
    exit 1
}
for package in velmora2000 velmora-jukebox; do
    case $(dpkg-query -W -f '${db:Status-Status}' "$package" 2>/dev/null || true) in
        "" | not-installed) ;;
        *) fail "$package is on this machine already: not touching it" ;;
    esac
done
apt() { apt-get -o DPkg::Lock::Timeout=600 -y -q "$@"; }
# The system units' users stay after a purge, as Debian leaves them: this check's own go.
users="velmora-jukebox velmora-kiosk"
had_users=$(for user in $users; do getent passwd "$user" || true; done)
cleanup() {
    apt purge velmora2000 velmora-jukebox >/dev/null 2>&1 || true
    for user in $users; do
        echo "$had_users" | grep -q "^$user:" || ! getent passwd "$user" >/dev/null || userdel "$user"
    done
}
trap cleanup EXIT

apt install "$old" >/tmp/velmora-upgrade-old.log 2>&1 || { cat /tmp/velmora-upgrade-old.log; fail "the old package does not install"; }
[ "$(dpkg-query -W -f '${Version}' velmora2000)" = "$(dpkg-deb -f "$old" Version)" ] ||
    fail "the old package is not the one installed"

log=$(mktemp)
apt install "$jukebox" "$board" >"$log" 2>&1 || { cat "$log"; fail "the upgrade failed"; }
! grep -qiE 'trying to overwrite|conflict' "$log" || { cat "$log"; fail "the upgrade met a conflict"; }
for deb in "$jukebox" "$board"; do
    package=$(dpkg-deb -f "$deb" Package)
    [ "$(dpkg-query -W -f '${Status} ${Version}' "$package")" = \
        "install ok installed $(dpkg-deb -f "$deb" Version)" ] || fail "$package is not installed"
    while read -r path; do
        [ -e "$path" ] || fail "$path of $package is missing after the upgrade"
        dpkg -S "$path" | grep -q "^$package: " || fail "$path does not belong to $package"
    done < <(dpkg-deb --fsys-tarfile "$deb" | tar -t | sed -n 's|^\./|/|; /[^/]$/p')
done
echo "upgrade: $(basename "$old") -> $(basename "$jukebox") + $(basename "$board"), no conflict"

# The options file is the administrator's: an edit survives a reinstall.
echo 'VELMORA_JUKEBOX_OPTIONS="--demo"' >>/etc/default/velmora-jukebox
apt install --reinstall "$jukebox" >"$log" 2>&1 || { cat "$log"; fail "the reinstall failed"; }
tail -1 /etc/default/velmora-jukebox | grep -qx 'VELMORA_JUKEBOX_OPTIONS="--demo"' ||
    fail "the reinstall lost the edited options file"
! [ -e /etc/systemd/system/multi-user.target.wants/velmora-jukebox.service ] ||
    fail "the system unit was enabled by the package"

# What the system unit would have cached goes with a purge.
mkdir -p /var/cache/velmora-jukebox/covers
touch /var/cache/velmora-jukebox/covers/0123456789abcdef.png
apt purge velmora2000 velmora-jukebox >"$log" 2>&1 || { cat "$log"; fail "the removal failed"; }
for path in /usr/bin/velmora-jukebox /usr/bin/velmora2000 /etc/default/velmora-jukebox \
    /var/cache/velmora-jukebox; do
    ! [ -e "$path" ] || fail "$path is left after the removal"
done
getent passwd velmora-jukebox >/dev/null || fail "the system unit's user was not made"
rm -f "$log"
echo "upgrade: 1 passed, 0 failed"
