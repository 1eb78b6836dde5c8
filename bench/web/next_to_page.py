#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Run by next_to_page.sh with MPD up (MPD_HOST, MPD_PORT): times MPD `next` to the new title in
the page's DOM (the page's own clock) and to the "playing" message on a board's link."""
import os
import socket
import statistics
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "web", "tests"))
from browsers import Program, free_port, open_browser, wait_until  # noqa: E402

HELLO = (b"VELMORA-LINK 1\nOPEN cdj type=devtx\nOPEN cdjr type=devrx\n"
         b"SEND cdj notify_playing_item[on]\nSEND cdj notify_playing_timecode[on]\n")


class LinkBoard(threading.Thread):
    """A board's side of the link: the wall-clock time of every "playing" message."""

    def __init__(self, port):
        super().__init__(daemon=True)
        self.sock = socket.create_connection(("127.0.0.1", port))
        self.sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self.sock.sendall(HELLO)
        self.playing = []
        self.start()

    def run(self):
        buffer = b""
        while True:
            data = self.sock.recv(65536)
            if not data:
                return
            now = time.time()
            buffer += data
            *lines, buffer = buffer.split(b"\n")
            for line in lines:
                if line.startswith(b"MSG cdjr playing["):
                    self.playing.append(now)


def mpd_next():
    with socket.create_connection((os.environ["MPD_HOST"], int(os.environ["MPD_PORT"]))) as mpd:
        mpd.recv(1024)  # OK MPD version
        sent = time.time()
        mpd.sendall(b"next\n")
        mpd.recv(1024)
    return sent


def main():
    web_program, jukebox_program, rounds = sys.argv[1], sys.argv[2], int(sys.argv[3])
    folder = tempfile.mkdtemp(prefix="velmora-web-next-")
    os.environ["XDG_CONFIG_HOME"] = os.path.join(folder, "config")
    os.environ["XDG_CACHE_HOME"] = os.path.join(folder, "cache")
    service_port, web_port = free_port(), free_port()
    jukebox = Program("jukebox", [jukebox_program, "--mpd", "--port", str(service_port)],
                      folder).start()
    web = Program("web", [web_program, "--listen", "127.0.0.1:%d" % web_port, "--jukebox",
                          "127.0.0.1:%d" % service_port], folder).start()
    time.sleep(1)
    board = LinkBoard(service_port)
    browser = open_browser("chromium", folder)
    page_ms, board_ms = [], []
    try:
        browser.get("http://127.0.0.1:%d/" % web_port)
        wait_until("the page", 20, lambda: browser.execute_script(
            "return window.velmoraBoard.firstDrawn"))
        time.sleep(1)
        for _ in range(rounds):
            seen_page = browser.execute_script("return window.velmoraBoard.changes.length")
            seen_board = len(board.playing)
            sent = mpd_next()
            wait_until("the new title", 10, lambda: browser.execute_script(
                "return window.velmoraBoard.changes.length") > seen_page and
                len(board.playing) > seen_board)
            change = browser.execute_script("return window.velmoraBoard.changes[%d]" % seen_page)
            page_ms.append(change["precise"] - sent * 1000)
            board_ms.append((board.playing[seen_board] - sent) * 1000)
            time.sleep(0.5)
    finally:
        browser.quit()
        web.stop()
        jukebox.stop()
    gaps = [p - b for p, b in zip(page_ms, board_ms)]
    print("MPD next -> %d rounds: the page's DOM median %.1f ms (p90 %.1f); a board's link "
          "median %.1f ms (p90 %.1f); page minus link median %.1f ms" % (
              rounds, statistics.median(page_ms), sorted(page_ms)[int(rounds * 0.9) - 1],
              statistics.median(board_ms), sorted(board_ms)[int(rounds * 0.9) - 1],
              statistics.median(gaps)))


if __name__ == "__main__":
    main()
