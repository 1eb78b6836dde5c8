#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Keeps a jukebox service busy as a box's audience does and reads its memory, measured, never
asserted:

    load.py SERVICE_PID LINK_PORT WEB_PORT PAGES BOARDS SECONDS

opens PAGES browser pages' event streams (GET /events on velmora-web, as the page's EventSource
does) and BOARDS link-protocol boards (tests/e2e/link_board.py's, which greet, turn the
notifications on and look up the next song after each "playing"), reads all they are sent, and
skips to MPD's next song (mpc next) every 10 s. At the end prints VmRSS and VmHWM of the service's
process and of each child (velmora-web), and how much each page and board received.
"""
import os
import re
import selectors
import socket
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "tests", "e2e"))
from link_board import Board  # noqa: E402


def memory(pid):
    with open("/proc/%d/status" % pid) as status:
        text = status.read()
    name = re.search(r"Name:\s+(\S+)", text).group(1)
    rss, hwm = (int(re.search(key + r":\s+(\d+)", text).group(1)) for key in ("VmRSS", "VmHWM"))
    return name, rss, hwm


def children(pid):
    with open("/proc/%d/task/%d/children" % (pid, pid)) as listing:
        return [int(child) for child in listing.read().split()]


def connect(port):
    deadline = time.monotonic() + 60  # a service under emulation starts slowly
    while True:
        try:
            return socket.create_connection(("127.0.0.1", port))
        except OSError:
            if time.monotonic() > deadline:
                raise
            time.sleep(0.2)


def main():
    pid, link_port, web_port, pages, boards, seconds = map(int, sys.argv[1:7])
    connect(link_port).close()
    connect(web_port).close()
    selector = selectors.DefaultSelector()
    received = {}
    for n in range(pages):
        page = connect(web_port)
        page.sendall(b"GET /events HTTP/1.1\r\nHost: box\r\n\r\n")
        selector.register(page, selectors.EVENT_READ, ("page %d" % n, None))
    for n in range(boards):
        board = Board(link_port)
        selector.register(board.sock, selectors.EVENT_READ, ("board %d" % n, board))
    end = time.monotonic() + seconds
    next_skip = time.monotonic() + 10
    while time.monotonic() < end:
        if time.monotonic() > next_skip:
            subprocess.run(["mpc", "-q", "next"], check=True)
            next_skip += 10
        for key, _ in selector.select(timeout=0.5):
            name, board = key.data
            if board:
                received[name] = received.get(name, 0) + sum(1 for _ in board.lines())
                continue
            data = key.fileobj.recv(65536)
            if not data:
                raise SystemExit("%s: velmora-web closed the stream" % name)
            received[name] = received.get(name, 0) + len(data)
    for process in [pid] + children(pid):
        name, rss, hwm = memory(process)
        print("%s (pid %d): VmRSS %d kB, VmHWM %d kB" % (name, process, rss, hwm))
    names = ["page %d" % n for n in range(pages)] + ["board %d" % n for n in range(boards)]
    quiet = [name for name in names if not received.get(name)]
    print("%d pages (bytes: %s), %d boards (lines: %s)%s" % (
        pages, ", ".join(str(received.get(name, 0)) for name in names[:pages]),
        boards, ", ".join(str(received.get(name, 0)) for name in names[pages:]),
        "; nothing reached " + ", ".join(quiet) if quiet else ""))


if __name__ == "__main__":
    main()
