#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""velmora-web's figures (docs/benchmarks.md), measured, never asserted:

    figures.py VELMORA_WEB VELMORA_JUKEBOX [PAGES] [SECONDS]

- first load in Chromium on loopback: the bytes transferred without the cover and the stream,
  and the time from navigation to the first drawn board;
- PAGES open pages (default 500) on one velmora-web fed by the demo jukebox: each time message's
  spread from the first page to the last (the kernel's receive time stamps, so the reader's own
  pace does not count), p50/p99/max over SECONDS (default 30), and velmora-web's resident memory;
- the CPU time velmora-web takes in 60 s while nothing plays (a service that only answers the
  echo), with one page open.
"""
import os
import re
import selectors
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "web", "tests"))
from browsers import Program, free_port, open_browser, wait_until  # noqa: E402

SO_TIMESTAMPNS = getattr(socket, "SO_TIMESTAMPNS", 35)  # Linux
TIME = re.compile(rb'"name":"ElapsedTime".*?"text":"(\d+:\d\d)"')


def rss_kib(pid):
    with open("/proc/%d/status" % pid) as status:
        return int(re.search(r"VmRSS:\s+(\d+)", status.read()).group(1))


def cpu_ticks(pid):
    with open("/proc/%d/stat" % pid) as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])  # utime + stime


def first_load(url, folder):
    browser = open_browser("chromium", folder)
    try:
        browser.get(url)
        wait_until("the first drawn board", 20,
                   lambda: browser.execute_script("return window.velmoraBoard.firstDrawn"))
        return browser.execute_script("""
            var nav = performance.getEntriesByType('navigation')[0];
            var bytes = nav.transferSize, files = [nav.name];
            performance.getEntriesByType('resource').forEach(function (r) {
              if (r.name.indexOf('/cover/') < 0 && r.name.indexOf('/events') < 0) {
                bytes += r.transferSize; files.push(r.name);
              }
            });
            return {bytes: bytes, files: files, drawn: window.velmoraBoard.firstDrawn};""")
    finally:
        browser.quit()


def open_pages(port, count):
    pages = []
    for _ in range(count):
        page = socket.create_connection(("127.0.0.1", port))
        page.setsockopt(socket.SOL_SOCKET, SO_TIMESTAMPNS, 1)
        page.sendall(b"GET /events HTTP/1.1\r\nHost: bench\r\n\r\n")
        pages.append(page)
    return pages


def spread(port, count, seconds):
    """Per time message: the last page's receive time minus the first page's, in ms."""
    pages = open_pages(port, count)
    selector = selectors.DefaultSelector()
    for page in pages:
        page.setblocking(False)
        selector.register(page, selectors.EVENT_READ)
    arrivals = {}  # time text -> [kernel receive times]
    end = time.monotonic() + seconds
    start_after = time.monotonic() + 2  # the pages' first board first
    while time.monotonic() < end:
        for key, _ in selector.select(timeout=0.5):
            while True:
                try:
                    data, ancillary, _, _ = key.fileobj.recvmsg(65536, 1024)
                except BlockingIOError:
                    break
                if not data:
                    raise SystemExit("velmora-web closed a page")
                stamp = None
                for level, kind, value in ancillary:
                    if level == socket.SOL_SOCKET and kind == SO_TIMESTAMPNS:
                        seconds_, nanos = struct.unpack("qq", value[:16])
                        stamp = seconds_ + nanos / 1e9
                if time.monotonic() < start_after or b"event: change" not in data:
                    continue
                for found in TIME.findall(data):
                    arrivals.setdefault(found, []).append(stamp)
    for page in pages:
        page.close()
    spreads = sorted((max(t) - min(t)) * 1000 for t in arrivals.values() if len(t) == count)
    return spreads, len(arrivals)


def percentile(values, p):
    return values[min(len(values) - 1, int(round(p / 100 * (len(values) - 1))))]


class EchoOnly(threading.Thread):
    """A jukebox service on which nothing plays: it greets and answers the echo."""

    def __init__(self):
        super().__init__(daemon=True)
        self.server = socket.socket()
        self.server.bind(("127.0.0.1", 0))
        self.server.listen(1)
        self.port = self.server.getsockname()[1]
        self.start()

    def run(self):
        board, _ = self.server.accept()
        board.sendall(b"VELMORA-LINK 1 nothing plays\n")
        buffer = b""
        while True:
            data = board.recv(4096)
            if not data:
                return
            buffer += data
            *lines, buffer = buffer.split(b"\n")
            for line in lines:
                if line == b"SEND cdj echo[cdjon]":
                    board.sendall(b"MSG cdjr echo[cdjon]\n")


def main():
    web_program, jukebox_program = sys.argv[1:3]
    count = int(sys.argv[3]) if len(sys.argv) > 3 else 500
    seconds = float(sys.argv[4]) if len(sys.argv) > 4 else 30
    folder = tempfile.mkdtemp(prefix="velmora-web-figures-")
    os.environ["XDG_CONFIG_HOME"] = os.path.join(folder, "config")
    os.environ["XDG_CACHE_HOME"] = os.path.join(folder, "cache")
    service_port, web_port = free_port(), free_port()
    jukebox = Program("jukebox", [jukebox_program, "--demo", "--port", str(service_port)],
                      folder).start()
    web = Program("web", [web_program, "--listen", "127.0.0.1:%d" % web_port, "--jukebox",
                          "127.0.0.1:%d" % service_port], folder).start()
    try:
        time.sleep(1)
        load = first_load("http://127.0.0.1:%d/" % web_port, folder)
        print("first load: %d bytes transferred without the cover (%s); first board drawn "
              "%.0f ms after navigation" % (load["bytes"], ", ".join(
                  f.rsplit("/", 1)[-1] or "/" for f in load["files"]), load["drawn"]))
        rss_before = rss_kib(web.process.pid)
        spreads, messages = spread(web_port, count, seconds)
        print("%d pages, %d time messages reached all: spread first->last page p50 %.2f ms, "
              "p99 %.2f ms, max %.2f ms" % (count, len(spreads), percentile(spreads, 50),
                                            percentile(spreads, 99), spreads[-1]))
        pages = open_pages(web_port, count)
        time.sleep(3)
        print("velmora-web resident memory: %d KiB with no page, %d KiB with %d pages open" %
              (rss_before, rss_kib(web.process.pid), count))
        for page in pages:
            page.close()
    finally:
        web.stop()
        jukebox.stop()

    quiet = EchoOnly()
    web_port = free_port()
    idle = Program("idle", [web_program, "--listen", "127.0.0.1:%d" % web_port, "--jukebox",
                            "127.0.0.1:%d" % quiet.port], folder).start()
    try:
        time.sleep(2)
        page = open_pages(web_port, 1)[0]
        before = cpu_ticks(idle.process.pid)
        time.sleep(60)
        ticks = cpu_ticks(idle.process.pid) - before
        hertz = os.sysconf("SC_CLK_TCK")
        print("nothing playing, one page open: velmora-web used %d clock ticks (%.0f ms) of CPU "
              "in 60 s" % (ticks, ticks * 1000 / hertz))
        page.close()
    finally:
        idle.stop()


if __name__ == "__main__":
    main()
