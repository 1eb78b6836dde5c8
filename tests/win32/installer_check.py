#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""The Windows installer under Wine, in the Wine prefix $WINEPREFIX (a fresh one) on $DISPLAY:

    installer_check.py SETUP NAME=FILE...   NAME: a file the installer puts in its folder, FILE:
                                            what it must hold, byte for byte

A silent install into a folder with a space and a letter outside ASCII, over a screen saver the
user had; the files, the registry values, the Start-menu shortcut (run: it opens the options);
the log-on entry's command, run, starts a service that greets a board; then a silent uninstall
while that service runs, after which nothing is left, the old screen saver is back, and
HKEY_LOCAL_MACHINE is as it was. Prints PASS/FAIL lines and the figures; exits 1 on a failure."""

import glob
import os
import socket
import subprocess
import sys
import tempfile
import time

PREFIX = os.environ["WINEPREFIX"]
# No menu entries on the Linux desktop for the shortcut (winemenubuilder).
ENV = dict(os.environ, LC_ALL="C.UTF-8", WINEDEBUG="-all",
           WINEDLLOVERRIDES=os.environ.get("WINEDLLOVERRIDES", "") + ";winemenubuilder.exe=d")
FOLDER = "C:\\Prøve Mappe\\Velmora2000"  # a folder the user picked
OLD_SAVER = "C:\\Savers\\Blåbær.scr"
DESKTOP = "HKEY_CURRENT_USER\\Control Panel\\Desktop"
RUN = "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"
UNINSTALL = "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Velmora2000"
# What the options dialog's "OK" writes: the user's own settings, which uninstalling keeps.
SETTINGS = "HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings"
# Keys Wine itself rewrites as programs run: its own, its devices and the fonts it finds.
VOLATILE = ("HKEY_CURRENT_USER\\Software\\Wine", "HKEY_LOCAL_MACHINE\\Software\\Wine",
            "HKEY_CURRENT_USER\\Volatile Environment",
            "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Class",
            "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\DeviceClasses",
            "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Video",
            "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\ServiceCurrent")
FONTS = "\\CurrentVersion\\Fonts"

failures = 0


def check(name, problems):
    global failures
    problems = [p for p in problems if p]
    if problems:
        failures += 1
        print(f"FAIL {name}: " + "; ".join(problems))
    else:
        print(f"PASS {name}")


def wine(*args, timeout=120):
    return subprocess.run(["wine", *args], env=ENV, stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL, timeout=timeout, check=False)


def windows(path):
    """A Linux path as Wine names it."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def unix(path):
    """The Linux path of a path on drive C:."""
    assert path[:3].upper() == "C:\\"
    return os.path.join(PREFIX, "drive_c", *path[3:].split("\\"))


def export(root):
    """{key: {value name: text}} of a registry tree, through regedit's UTF-16 export."""
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "export.reg")
        wine("regedit", "/E", windows(path), root)
        text = open(path, encoding="utf-16").read()
    keys, key, pending = {}, None, ""
    for line in text.splitlines():
        line = pending + line
        if line.endswith("\\") and not line.startswith("["):
            pending = line[:-1].strip()
            continue
        pending = ""
        if line.startswith("[") and line.endswith("]"):
            key = keys.setdefault(line[1:-1], {})
        elif key is not None and "=" in line:
            name, _, value = line.partition("=") if line.startswith("@") else \
                line[1:].partition('"=')
            if value.startswith('"'):
                value = value[1:-1].replace('\\"', '"').replace("\\\\", "\\")
            key[name] = value
    return keys


def registry_diff(before, after, allowed=()):
    skip = VOLATILE + tuple(allowed)
    changed = []
    for key in sorted(set(before) | set(after)):
        if key.startswith(skip) or key.endswith(FONTS):
            continue
        if before.get(key) != after.get(key):
            changed.append(f"{key}: {before.get(key)} -> {after.get(key)}")
    return changed


def lnk_arguments(path):
    """The arguments a shell link passes, from its StringData (MS-SHLLINK)."""
    data = open(path, "rb").read()
    flags = int.from_bytes(data[20:24], "little")
    at = 76
    if flags & 0x1:  # HasLinkTargetIDList
        at += 2 + int.from_bytes(data[at:at + 2], "little")
    if flags & 0x2:  # HasLinkInfo
        at += int.from_bytes(data[at:at + 4], "little")
    unicode = flags & 0x80
    for bit in (0x4, 0x8, 0x10, 0x20):  # name, relative path, working folder, arguments
        if flags & bit:
            count = int.from_bytes(data[at:at + 2], "little")
            size = count * (2 if unicode else 1)
            text = data[at + 2:at + 2 + size].decode("utf-16-le" if unicode else "latin-1")
            at += 2 + size
            if bit == 0x20:
                return text.rstrip("\0")  # Wine counts the terminating NUL
    return None


def processes(name=b"\\velmora-jukebox", seconds=0):
    """Linux ids of this prefix's processes whose command names `name` (by default the service
    and its starter), after waiting up to `seconds` for there to be none."""
    deadline = time.monotonic() + seconds
    while (found := running(name)) and time.monotonic() < deadline:
        time.sleep(0.2)
    return found


def running(name):
    found = []
    for proc in glob.glob("/proc/[0-9]*"):
        try:
            command = open(proc + "/cmdline", "rb").read()
            environ = open(proc + "/environ", "rb").read()
        except OSError:
            continue
        if (name in command and b"--stop" not in command
                and f"WINEPREFIX={PREFIX}\0".encode() in environ):
            found.append(command.replace(b"\0", b" ").decode("utf-8", "replace").strip())
    return found


def greeting(port, seconds=30):
    """The first line a service on loopback sends a board, or what went wrong."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=5) as sock:
                sock.sendall(b"VELMORA-LINK 1\n")
                data = b""
                while b"\n" not in data:
                    chunk = sock.recv(4096)
                    if not chunk:
                        break
                    data += chunk
                return data.split(b"\n")[0].decode("utf-8", "replace")
        except OSError:
            time.sleep(0.3)
    return f"nothing listens on {port}"


def window(title, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        found = subprocess.run(["xdotool", "search", "--name", f"^{title}$"],
                               capture_output=True, text=True, check=False).stdout.split()
        if found:
            return found[0]
        time.sleep(0.2)
    return None


def free_port():
    with socket.socket() as sock:
        sock.bind(("127.0.0.1", 0))
        return sock.getsockname()[1]


def main(setup, pairs):
    expected = dict(pair.split("=", 1) for pair in pairs)
    folder = unix(FOLDER)
    profile = next(p for p in glob.glob(os.path.join(PREFIX, "drive_c/users/*"))
                   if os.path.isdir(os.path.join(p, "AppData")))
    link = os.path.join(profile, "AppData/Roaming/Microsoft/Windows/Start Menu/Programs",
                        "Velmora2000 Options.lnk")
    cache = os.path.join(profile, "AppData/Local/velmora-jukebox")

    wine("wineboot", "-i", timeout=300)
    reg = os.path.join(tempfile.mkdtemp(), "saver.reg")
    with open(reg, "w", encoding="utf-16") as f:
        f.write(f'Windows Registry Editor Version 5.00\r\n\r\n[{DESKTOP}]\r\n'
                f'"SCRNSAVE.EXE"="{OLD_SAVER.replace(chr(92), chr(92) * 2)}"\r\n'
                '"ScreenSaveActive"="0"\r\n"ScreenSaveTimeOut"="420"\r\n')
    wine("regedit", "/S", windows(reg))
    machine_before, user_before = export("HKEY_LOCAL_MACHINE"), export("HKEY_CURRENT_USER")

    start = time.monotonic()
    # Through cmd: NSIS takes "/D=" unquoted, spaces and all, and Wine would quote it.
    wine("cmd", "/c", f"{windows(setup)} /S /MODE=mpd /MPD=music.lan:6601 /D={FOLDER}")
    install_time = time.monotonic() - start

    names = set(os.listdir(folder)) if os.path.isdir(folder) else set()
    problems = [f"{name} differs from {source}" for name, source in expected.items()
                if name in names and open(os.path.join(folder, name), "rb").read() !=
                open(source, "rb").read()]
    problems.append(names != set(expected) | {"Uninstall.exe"} and f"the folder holds {names}")
    check("install: the files, byte for byte", problems)

    user = export("HKEY_CURRENT_USER")
    desktop, uninstall = user.get(DESKTOP, {}), user.get(UNINSTALL, {})
    saver = desktop.get("SCRNSAVE.EXE", "")
    run = user.get(RUN, {}).get("Velmora2000", "")
    background = FOLDER + "\\velmora-jukebox-background.exe"
    scr_unix = subprocess.run(["winepath", "-u", saver], env=ENV, capture_output=True,
                              text=True, check=False).stdout.strip()
    check("install: the registry values", [
        not (saver and os.path.exists(scr_unix) and
             os.path.samefile(scr_unix, os.path.join(folder, "Velmora2000.scr")))
        and f"SCRNSAVE.EXE is {saver!r}",
        " " in saver and f"SCRNSAVE.EXE {saver!r} has a space",
        desktop.get("ScreenSaveActive") != "1" and f"ScreenSaveActive {desktop.get('ScreenSaveActive')}",
        desktop.get("ScreenSaveTimeOut") != "420" and "the timeout changed",
        run != f'"{background}" --mpd music.lan:6601' and f"Run is {run!r}",
        uninstall.get("PreviousScreenSaver") != OLD_SAVER and f"remembered {uninstall}",
        uninstall.get("UninstallString") != f'"{FOLDER}\\Uninstall.exe"' and f"uninstall {uninstall}",
        uninstall.get("DisplayName") != "Velmora2000" and "no DisplayName"])

    arguments = lnk_arguments(link) if os.path.exists(link) else None
    wine("start", link.replace(PREFIX + "/drive_c/", "C:\\").replace("/", "\\"), timeout=30)
    dialog = window("Velmora2000 Options", 30)
    for _ in range(3):  # "OK" has the focus; the window takes the keyboard once it is up
        if not window("Velmora2000 Options", 1):
            break
        time.sleep(1)
        subprocess.run(["xdotool", "search", "--name", "^Velmora2000 Options$", "windowfocus",
                        "--sync", "key", "space"], stderr=subprocess.DEVNULL, check=False)
    options_left = processes(b"\\Velmora2000.scr", 20)
    check("the Start-menu entry opens the options", [
        arguments != "/c" and f"the shortcut passes {arguments!r}",
        not dialog and "no window \"Velmora2000 Options\"",
        options_left and "\"OK\" does not end the options"])

    started = processes()
    wine(background, "--stop", timeout=30)
    stopped = processes(seconds=5)
    # The log-on entry's command as Windows would run it, on a port of the test's own.
    port = free_port()
    program, _, options = run[1:].partition('" ')
    service = subprocess.Popen(["wine", program, *options.split(), "--port", str(port)], env=ENV,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    hello = greeting(port)
    check("the log-on entry starts the service; --stop ends it", [
        not started and "the installer did not start the service",
        stopped and f"--stop left {stopped}",
        hello != "VELMORA-LINK 1 velmora-jukebox mpd" and f"a board got {hello!r}",
        not os.path.isdir(cache) and "no cover cache folder"])

    start = time.monotonic()
    wine(FOLDER + "\\Uninstall.exe", "/S")
    try:  # the uninstaller runs on from a copy of itself: wait for every program to end
        subprocess.run(["wineserver", "-w"], env=ENV, timeout=30, check=False)
    except subprocess.TimeoutExpired:
        print("programs were still running 30 s after the uninstall began")
    uninstall_time = time.monotonic() - start

    user_after, machine_after = export("HKEY_CURRENT_USER"), export("HKEY_LOCAL_MACHINE")
    desktop = user_after.get(DESKTOP, {})
    left = [p for p in (folder, link, cache) if os.path.exists(p)]
    check("uninstall: nothing left, the old screen saver back", [
        left and f"left {left}",
        processes(seconds=5) and "the service still runs",
        desktop.get("SCRNSAVE.EXE") != OLD_SAVER and f"SCRNSAVE.EXE {desktop.get('SCRNSAVE.EXE')!r}",
        *registry_diff(user_before, user_after, allowed=(SETTINGS,))])
    check("HKEY_LOCAL_MACHINE unchanged", registry_diff(machine_before, machine_after))
    service.kill()

    print(f"installer: {os.path.getsize(setup)} bytes")
    print(f"silent install under Wine: {install_time:.1f} s")
    print(f"silent uninstall under Wine (until Wine's server is idle): {uninstall_time:.1f} s")
    return 1 if failures else 0


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv[1], sys.argv[2:]))
    finally:
        subprocess.run(["wineserver", "-k"], env=ENV, check=False)
