#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""The Windows installer under Wine, in a fresh Wine prefix ($WINEPREFIX) on $DISPLAY:

    installer_check.py SETUP NAME=FILE...   the installed file NAME must hold FILE's bytes

A silent install into a folder with a space and a letter outside ASCII, over a screen saver the
user had and an older install that kept the MPD address (and its password) in the Apps entry and
on the log-on entry's command line; then a silent uninstall while the service runs. A stand-in MPD
tells which password reached it. Prints PASS/FAIL lines and figures."""

import glob
import os
import socket
import subprocess
import sys
import tempfile
import threading
import time

PREFIX = os.environ["WINEPREFIX"]
# No Linux menu entries for the shortcut (Wine's menu builder).
ENV = dict(os.environ, LC_ALL="C.UTF-8", WINEDEBUG="-all",
           WINEDLLOVERRIDES=os.environ.get("WINEDLLOVERRIDES", "") + ";winemenubuilder.exe=d")
FOLDER = "C:\\Prøve Mappe\\Velmora2000"
OLD_SAVER = "C:\\Savers\\Blåbær.scr"
DESKTOP = "HKEY_CURRENT_USER\\Control Panel\\Desktop"
WINDOWS = "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion"
SERVICE = "HKEY_CURRENT_USER\\Software\\velmora-jukebox"
PASSWORD = "s3cret-Pw"
# Not compared: the settings the options dialog's "OK" writes (the user's, which uninstalling
# keeps), and what Wine itself writes as programs run: its own keys, the hardware it finds (which
# Windows rebuilds at each start), the fonts, and the devices' state.
IGNORED = ("HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings", "\\Software\\Wine",
           "HKEY_CURRENT_USER\\Volatile Environment", "HKEY_LOCAL_MACHINE\\Hardware",
           "\\Hardware Profiles\\Current", "\\NetworkCards", "\\CurrentVersion\\Fonts",
           *("\\CurrentControlSet\\Control\\" + key
             for key in ("Class", "DeviceClasses", "Video", "ServiceCurrent")))
failures = 0


def check(name, problems):
    global failures
    problems = [p for p in problems if p]
    failures += bool(problems)
    print(f"FAIL {name}: " + "; ".join(problems) if problems else f"PASS {name}")


def wine(*args, timeout=120):
    subprocess.run(["wine", *args], env=ENV, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=timeout, check=False)


def windows(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def export(root):
    """{key: {value name: data}} through regedit's export, which writes UTF-16."""
    path = os.path.join(tempfile.mkdtemp(), "export.reg")
    wine("regedit", "/E", windows(path), root)
    keys, key, line = {}, {}, ""
    for part in open(path, encoding="utf-16").read().splitlines():
        line += part.strip() if line else part
        if "=hex" in line and line.endswith("\\"):  # continued on the next line
            line = line[:-1]
            continue
        if line.startswith("["):
            key = keys.setdefault(line[1:-1], {})
        elif "=" in line:
            name, _, data = line.partition("=") if line[0] == "@" else line[1:].partition('"=')
            key[name] = (data[1:-1].replace('\\"', '"').replace("\\\\", "\\")
                         if data[:1] == '"' else data)
        line = ""
    return keys


def diff(before, after):
    """What changed, value by value, outside the keys not compared."""
    changes = []
    for key in sorted(set(before) | set(after)):
        if any(part in key for part in IGNORED):
            continue
        if (key in before) != (key in after):
            changes.append(f"{key} {'removed' if key in before else 'added'}")
            continue
        old, new = before[key], after[key]
        changes += [f"{key}\\{name}: {old.get(name)!r} -> {new.get(name)!r}"
                    for name in sorted(set(old) | set(new)) if old.get(name) != new.get(name)]
    return changes


def processes(name=b"\\velmora-jukebox", seconds=0):
    """This prefix's programs named `name` (by default the service and its starter) that still
    run after up to `seconds`."""
    deadline = time.monotonic() + seconds
    while True:
        found = []
        for proc in glob.glob("/proc/[0-9]*"):
            try:
                command = open(proc + "/cmdline", "rb").read()
                environ = open(proc + "/environ", "rb").read()
            except OSError:
                continue
            if (name in command and b"--stop" not in command
                    and f"WINEPREFIX={PREFIX}\0".encode() in environ):
                found.append(command.replace(b"\0", b" ").decode(errors="replace").strip())
        if not found or time.monotonic() > deadline:
            return found
        time.sleep(0.2)


class StandInMpd:
    """An MPD on loopback that greets, answers OK to every command but "idle", and keeps the
    passwords it is sent."""

    def __init__(self):
        self.server = socket.create_server(("127.0.0.1", 0))
        self.port = self.server.getsockname()[1]
        self.passwords = []
        threading.Thread(target=self.serve, daemon=True).start()

    def serve(self):
        while True:
            conn, _ = self.server.accept()
            threading.Thread(target=self.talk, args=(conn,), daemon=True).start()

    def talk(self, conn):
        with conn:
            conn.sendall(b"OK MPD 0.23.5\n")
            for line in conn.makefile("rb"):
                command = line.decode(errors="replace").rstrip("\n")
                if command.startswith("password "):
                    self.passwords.append(command[len("password "):].strip('"'))
                if not command.startswith("idle"):
                    conn.sendall(b"OK\n")

    def sent(self, password, seconds=30):
        """Whether `password` came within `seconds`."""
        deadline = time.monotonic() + seconds
        while password not in self.passwords and time.monotonic() < deadline:
            time.sleep(0.2)
        return password in self.passwords


def greeting(port):
    """The first line the service on `port` sends a board."""
    for _ in range(60):
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=5) as sock:
                sock.sendall(b"VELMORA-LINK 1\n")
                return sock.makefile("rb").readline().decode(errors="replace").rstrip("\n")
        except OSError:
            time.sleep(0.5)
    return f"nothing on port {port}"


def main(setup, pairs):
    expected = dict(pair.split("=", 1) for pair in pairs)
    wine("wineboot", "-i", timeout=300)
    subprocess.run(["wineserver", "-w"], env=ENV, timeout=60, check=False)
    folder = os.path.join(PREFIX, "drive_c", *FOLDER[3:].split("\\"))
    profile = next(p for p in glob.glob(PREFIX + "/drive_c/users/*/AppData"))
    link = profile + "/Roaming/Microsoft/Windows/Start Menu/Programs/Velmora2000 Options.lnk"
    cache = profile + "/Local/velmora-jukebox"
    reg = os.path.join(tempfile.mkdtemp(), "saver.reg")
    with open(reg, "w", encoding="utf-16") as f:
        f.write(f'Windows Registry Editor Version 5.00\r\n\r\n[{DESKTOP}]\r\n'
                f'"SCRNSAVE.EXE"="{OLD_SAVER.replace(chr(92), chr(92) * 2)}"\r\n'
                '"ScreenSaveActive"="0"\r\n"ScreenSaveTimeOut"="420"\r\n')
    wine("regedit", "/S", windows(reg))
    machine_before, user_before = export("HKEY_LOCAL_MACHINE"), export("HKEY_CURRENT_USER")

    # What an older install left: the address, password and all, in the Apps entry and on the
    # log-on entry's command line.
    mpd = StandInMpd()
    address = f"{PASSWORD}@127.0.0.1:{mpd.port}"
    background = FOLDER + "\\velmora-jukebox-background.exe"
    old_run = f'"{background}" --mpd {address}'
    for key, name, data in ((WINDOWS + "\\Uninstall\\Velmora2000", "Mode", "mpd"),
                            (WINDOWS + "\\Uninstall\\Velmora2000", "MpdAddress", address),
                            (WINDOWS + "\\Run", "Velmora2000", old_run)):
        wine("reg", "add", key, "/v", name, "/t", "REG_SZ", "/d", data, "/f")

    start = time.monotonic()
    # Through cmd: NSIS takes "/D=" unquoted, spaces and all, and Wine would quote it.
    wine("cmd", "/c", f"{windows(setup)} /S /MODE=mpd /D={FOLDER}")
    install_time = time.monotonic() - start

    names = set(os.listdir(folder)) if os.path.isdir(folder) else set()
    check("install: the files, byte for byte", [
        names != set(expected) | {"Uninstall.exe"} and f"the folder holds {names}",
        *(f"{name} differs from {source}" for name, source in expected.items() if name in names
          and open(os.path.join(folder, name), "rb").read() != open(source, "rb").read())])

    user = export("HKEY_CURRENT_USER")
    desktop, uninstall = user.get(DESKTOP, {}), user.get(WINDOWS + "\\Uninstall\\Velmora2000", {})
    saver = desktop.get("SCRNSAVE.EXE", "")
    run = user.get(WINDOWS + "\\Run", {}).get("Velmora2000", "")
    saver_file = subprocess.run(["winepath", "-u", saver], env=ENV, capture_output=True,
                                text=True, check=False).stdout.strip()
    check("install: the registry values", [
        not (os.path.isfile(saver_file) and
             os.path.samefile(saver_file, os.path.join(folder, "Velmora2000.scr")))
        and f"SCRNSAVE.EXE is {saver!r}",
        " " in saver and f"SCRNSAVE.EXE {saver!r} has a space",  # Windows runs it unquoted
        desktop.get("ScreenSaveActive") != "1" and "ScreenSaveActive is not 1",
        desktop.get("ScreenSaveTimeOut") != "420" and "the timeout changed",
        run != f'"{background}" --mpd' and f"Run is {run!r}",
        uninstall.get("UninstallString") != f'"{FOLDER}\\Uninstall.exe"' and f"Apps: {uninstall}",
        uninstall.get("DisplayName") != "Velmora2000" and "no DisplayName"])
    check("install: the MPD address in the service's settings alone", [
        user.get(SERVICE, {}).get("MpdAddress") != address
        and f"the service's MpdAddress is {user.get(SERVICE)}",
        *(f"{key} holds the password" for key, values in user.items()
          if key != SERVICE and any(PASSWORD in data for data in values.values())),
        not mpd.sent(PASSWORD) and "the service did not send MPD the stored password",
        *(f"{line!r} carries the password" for line in processes() if PASSWORD in line)])

    # Without "/c" the .scr would show no window.
    wine("start", "C:\\" + os.path.relpath(link, PREFIX + "/drive_c").replace("/", "\\"))
    search = ["xdotool", "search", "--sync", "--name", "^Velmora2000 Options$"]
    try:
        dialog = subprocess.run(search, capture_output=True, timeout=30, check=False).stdout
        time.sleep(1)  # "OK" has the focus once the window takes the keyboard
        subprocess.run(search + ["windowfocus", "--sync", "key", "space"], timeout=10,
                       stderr=subprocess.DEVNULL, check=False)
    except subprocess.TimeoutExpired:
        dialog = None
    check("the Start-menu entry opens the options", [
        not dialog and "no window \"Velmora2000 Options\"",
        processes(b"\\Velmora2000.scr", 20) and "\"OK\" does not end the options"])

    started = processes()
    wine(background, "--stop", timeout=30)
    stopped = processes(seconds=5)
    with socket.socket() as sock:  # the log-on entry's command, on a port of the test's own
        sock.bind(("127.0.0.1", 0))
        port = sock.getsockname()[1]
    program, _, options = run[1:].partition('" ')
    service = subprocess.Popen(["wine", program, *options.split(), "--port", str(port)], env=ENV,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    hello = greeting(port)
    check("the log-on entry starts the service; --stop ends it", [
        not started and "the installer did not start the service",
        stopped and f"--stop left {stopped}",
        hello != "VELMORA-LINK 1 velmora-jukebox mpd" and f"a board got {hello!r}",
        not os.path.isdir(cache) and "no cover cache folder"])

    # An older install's log-on entry, its address on the command line, still works.
    wine(background, "--stop", timeout=30)
    service.kill()
    service = subprocess.Popen(["wine", background, "--mpd", "0ld-Pw@" + address.split("@")[1],
                                "--port", str(port)], env=ENV,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    check("an older log-on entry's --mpd ADDRESS", [
        not mpd.sent("0ld-Pw") and "MPD was not sent the password on the command line",
        greeting(port) != hello and "no board is served"])

    start = time.monotonic()
    wine(FOLDER + "\\Uninstall.exe", "/S")
    try:  # the uninstaller goes on in a copy of itself: wait for every program to end
        subprocess.run(["wineserver", "-w"], env=ENV, timeout=30, check=False)
    except subprocess.TimeoutExpired:
        print("programs were still running 30 s after the uninstall began")
    uninstall_time = time.monotonic() - start
    left = [p for p in (folder, link, cache) if os.path.exists(p)]
    check("uninstall: nothing left, the old screen saver back", [
        left and f"left {left}", processes(seconds=5) and "the service still runs",
        *diff(user_before, export("HKEY_CURRENT_USER"))])
    check("HKEY_LOCAL_MACHINE unchanged", diff(machine_before, export("HKEY_LOCAL_MACHINE")))
    service.kill()

    print(f"installer: {os.path.getsize(setup)} bytes")
    print(f"silent install under Wine: {install_time:.1f} s")
    print(f"silent uninstall under Wine, until every program has ended: {uninstall_time:.1f} s")
    return 1 if failures else 0


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv[1], sys.argv[2:]))
    finally:
        subprocess.run(["wineserver", "-k"], env=ENV, check=False)
