#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""What velmora-web's browser tests share: free ports, waits, the programs under test, and a real
browser through WebDriver with a 1280 x 1024 viewport (Chromium headless; WebKit's MiniBrowser
on the display the test runs under)."""
import os
import signal
import socket
import subprocess
import tempfile
import time

from selenium import webdriver


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_until(what, seconds, check):
    deadline = time.monotonic() + seconds
    last = None
    while time.monotonic() < deadline:
        try:
            last = check()
            if last:
                return last
        except Exception as error:  # a page between two loads, say
            last = error
        time.sleep(0.1)
    raise AssertionError("%s: not within %s s (last seen: %r)" % (what, seconds, last))


class Program:
    """A program of ours, started and ended by the test, its output in a log file."""

    def __init__(self, name, args, folder):
        self.log = os.path.join(folder, name + ".log")
        self.args = args
        self.process = None

    def start(self):
        self.process = subprocess.Popen(self.args, stdout=open(self.log, "a"),
                                        stderr=subprocess.STDOUT)
        return self

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            self.process.wait(timeout=10)
        status = self.process.returncode
        self.process = None
        return status


def open_browser(kind, folder):
    if kind == "chromium":
        options = webdriver.ChromeOptions()
        for argument in ("--headless", "--no-sandbox", "--disable-gpu",
                         "--disable-background-networking", "--disable-component-update",
                         "--disable-sync", "--no-first-run", "--hide-scrollbars",
                         "--user-data-dir=" + tempfile.mkdtemp(dir=folder)):
            options.add_argument(argument)
        browser = webdriver.Chrome(
            service=webdriver.chrome.service.Service("/usr/bin/chromedriver"), options=options)
        # The viewport itself at 1280 x 1024, whatever the window's frame takes.
        browser.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
            "width": 1280, "height": 1024, "deviceScaleFactor": 1, "mobile": False})
        return browser
    options = webdriver.WebKitGTKOptions()
    options.binary_location = minibrowser()
    options.add_argument("--automation")  # on the display the test runs under (xvfb-run)
    browser = webdriver.WebKitGTK(options=options)
    browser.set_window_size(1280, 1024)
    return browser


def minibrowser():
    for folder in ("/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1", "/usr/lib/x86_64-linux-gnu/webkit2gtk-4.0",
                   "/usr/libexec/webkit2gtk-4.1"):
        path = os.path.join(folder, "MiniBrowser")
        if os.path.exists(path):
            return path
    raise SystemExit("no MiniBrowser: install webkit2gtk-driver")


