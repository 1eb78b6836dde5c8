#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""velmora-web in a real browser through WebDriver, against the real velmora-jukebox and against
a stand-in service of the test's own that says exactly what the test needs.

    browser_board.py chromium|webkit VELMORA_WEB VELMORA_JUKEBOX [SCREENSHOT.png]

The page shows a playing track with its cover, the elapsed time going on, Next Up, and the next
track; it is current again after velmora-web and after the service restart, and says so while
either is away; a hostile title is shown as text; a 120-character title is fitted into its field;
the idle clock comes when nothing plays and goes when a track starts.
"""
import os
import re
import socket
import sys
import tempfile
import threading
import time

from browsers import Program, free_port, open_browser, wait_until

HOSTILE = '<img src=x onerror="document.body.dataset.owned=1">&amp; "quoted"'
LONG_TITLE = ("Variations on a Theme by the Harbour Lights, for Strings, Brass, Choir and Foghorn: "
              "Part Two, the Long Night Sea Passage")
assert len(LONG_TITLE) == 120

# What the page shows, read in one go.
READ_BOARD = """
var out = {notice: document.getElementById('notice').hidden ? '' :
             document.getElementById('notice').textContent,
           board: !document.getElementById('board').hidden,
           clock: !document.getElementById('clock').hidden,
           owned: document.body.dataset.owned || '', fields: {}};
var nodes = document.querySelectorAll('#board .control');
for (var i = 0; i < nodes.length; ++i) {
  var n = nodes[i], img = n.querySelector('img');
  out.fields[n.getAttribute('data-name')] = {
    text: n.textContent, children: n.children.length,
    fontSize: parseFloat(n.style.fontSize), scrollWidth: n.scrollWidth,
    clientWidth: n.clientWidth, full: n.title,
    cover: img ? img.naturalWidth : 0};
}
return out;
"""


class StandIn:
    """A jukebox service of the test's own: answers the board's handshake, echo and look-ups, and
    sends what the test tells it to."""

    def __init__(self):
        self.server = socket.socket()
        self.server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.server.bind(("127.0.0.1", 0))
        self.server.listen(4)
        self.port = self.server.getsockname()[1]
        self.board = None
        self.next_entry = '"2","Next Album","Next Artist","Next Song","3:00","","2","1"'
        self.lock = threading.Lock()
        self.ready = threading.Event()  # a board asked for the notifications
        threading.Thread(target=self.serve, daemon=True).start()

    def serve(self):
        while True:
            board, _ = self.server.accept()
            board.sendall(b"VELMORA-LINK 1 stand-in\n")
            with self.lock:
                self.board = board
            threading.Thread(target=self.answer, args=(board,), daemon=True).start()

    def answer(self, board):
        buffer = b""
        while True:
            data = board.recv(65536)
            if not data:
                return
            buffer += data
            *lines, buffer = buffer.split(b"\n")
            for line in lines:
                text = line.decode("utf-8")
                if text == "SEND cdj notify_playing_timecode[on]":
                    self.ready.set()
                elif text == "SEND cdj echo[cdjon]":
                    self.send("echo[cdjon]")
                elif text == "SEND cdj playlist_getpointer":
                    self.send("playlist_pointer[1]")
                elif text.startswith("SEND cdj playlist_getitem["):
                    self.send("playlist_item[" + self.next_entry + "]")

    def send(self, message):
        with self.lock:
            if self.board:
                self.board.sendall(("MSG cdjr " + message + "\n").encode("utf-8"))

    def play(self, title, artist="Stand-in Artist", album="Stand-in Album"):
        self.send('playing["%s","%s","%s","3:00","","1","1"]' % (album, artist, title))


def read(browser):
    return browser.execute_script(READ_BOARD)


def playing(board):
    fields = board["fields"]
    return (board["board"] and not board["notice"] and fields["Title"]["text"] not in ("", "Title")
            and re.fullmatch(r"\d+:\d\d", fields["ElapsedTime"]["text"] or "") and board)


def with_demo(browser, web, jukebox, url, screenshot):
    first = wait_until("a playing track", 20, lambda: playing(read(browser)))
    fields = first["fields"]
    assert fields["Artist"]["text"] and fields["Album"]["text"], fields
    assert re.fullmatch(r"\d+:\d\d", fields["TotalTime"]["text"]), fields["TotalTime"]
    wait_until("Next Up", 10, lambda: read(browser)["fields"]["NextTitle"]["text"])
    wait_until("the cover", 10, lambda: read(browser)["fields"]["CDImage"]["cover"] > 0)
    elapsed = fields["ElapsedTime"]["text"]
    wait_until("the elapsed time going on", 10,
               lambda: read(browser)["fields"]["ElapsedTime"]["text"] not in ("", elapsed))
    if screenshot:
        browser.save_screenshot(screenshot)
    title = fields["Title"]["text"]
    wait_until("the next track", 30, lambda: read(browser)["fields"]["Title"]["text"] != title)

    # velmora-web restarts: the page says so meanwhile, then is current again by itself.
    web.stop()
    wait_until("the page telling the server is gone", 10,
               lambda: "server" in read(browser)["notice"] and not read(browser)["board"])
    web.start()
    wait_until("the page current after velmora-web restarted", 15,
               lambda: playing(read(browser)))

    # The service restarts: the page says the jukebox is away, not a frozen track.
    jukebox.stop()
    wait_until("the page telling the jukebox is away", 15,
               lambda: read(browser)["notice"] == "The jukebox is not answering.")
    jukebox.start()
    wait_until("the page current after the service restarted", 20,
               lambda: playing(read(browser)))


def with_stand_in(browser, url, stand_in):
    assert stand_in.ready.wait(20), "velmora-web never asked the stand-in for the news"
    wait_until("the stand-in's board", 20, lambda: not read(browser)["notice"])
    stand_in.play(HOSTILE)
    stand_in.send("time[0:01]")
    board = wait_until("the hostile title", 10,
                       lambda: (lambda b: b["fields"]["Title"]["text"] == HOSTILE and b)(
                           read(browser)))
    assert board["fields"]["Title"]["children"] == 0, "the title became markup"
    time.sleep(0.5)
    assert read(browser)["owned"] == "", "a title ran script"

    stand_in.play(LONG_TITLE)
    board = wait_until("the long title", 10,
                       lambda: (lambda b: b["fields"]["Title"]["full"] in ("", LONG_TITLE) and
                                b["fields"]["Title"]["text"] != HOSTILE and b)(read(browser)))
    title = board["fields"]["Title"]
    artist = board["fields"]["Artist"]
    assert title["scrollWidth"] <= title["clientWidth"] + 1, title
    assert title["text"] != LONG_TITLE or title["fontSize"] < artist["fontSize"], title
    if title["text"] != LONG_TITLE:
        assert title["text"].endswith("\u2026") and title["full"] == LONG_TITLE, title
        assert title["fontSize"] <= artist["fontSize"] * 0.61, title

    # Nothing plays: the idle clock comes, and drifts against burn-in; a track starts: it goes.
    browser.get(url + "?idle=clock&after=2&driftminutes=0.02")
    wait_until("the idle clock", 15, lambda: read(browser)["clock"] and not read(browser)["board"])
    drift = "return document.getElementById('clock').style.transform"
    first = wait_until("the clock drifting", 10, lambda: browser.execute_script(drift))
    wait_until("the clock drifting on", 10, lambda: browser.execute_script(drift) != first)
    assert re.fullmatch(r"translate\((-?\d)px, ?(-?\d)px\)", first), first
    stand_in.play("Waking Up")
    stand_in.send("time[0:00]")
    wait_until("the board back when a track starts", 10,
               lambda: (lambda b: not b["clock"] and b["board"] and
                        b["fields"]["Title"]["text"] == "Waking Up")(read(browser)))


def main():
    kind, web_program, jukebox_program = sys.argv[1:4]
    screenshot = sys.argv[4] if len(sys.argv) > 4 else None
    folder = tempfile.mkdtemp(prefix="velmora-web-test-")
    os.environ["XDG_CONFIG_HOME"] = os.path.join(folder, "config")  # no settings of the user's
    os.environ["XDG_CACHE_HOME"] = os.path.join(folder, "cache")
    service_port, web_port = free_port(), free_port()
    jukebox = Program("jukebox", [jukebox_program, "--demo", "--speed", "20", "--port",
                                  str(service_port)], folder).start()
    web = Program("web", [web_program, "--listen", "127.0.0.1:%d" % web_port, "--jukebox",
                          "127.0.0.1:%d" % service_port], folder).start()
    stand_in = StandIn()
    other_port = free_port()
    other = Program("web-stand-in", [web_program, "--listen", "127.0.0.1:%d" % other_port,
                                     "--jukebox", "127.0.0.1:%d" % stand_in.port], folder).start()
    browser = open_browser(kind, folder)
    try:
        url = "http://127.0.0.1:%d/" % web_port
        browser.get(url)
        with_demo(browser, web, jukebox, url, screenshot)
        other_url = "http://127.0.0.1:%d/" % other_port
        browser.get(other_url)
        with_stand_in(browser, other_url, stand_in)
    except BaseException:
        for program in (web, jukebox, other):
            if os.path.exists(program.log):
                sys.stderr.write("--- %s\n%s" % (program.log, open(program.log).read()[-3000:]))
        raise
    finally:
        browser.quit()
        statuses = [program.stop() for program in (web, other) if program.process]
        jukebox.stop()
    assert statuses == [0, 0], "velmora-web ended with %s on SIGTERM" % statuses
    print("%s: the page shows and follows the board" % kind)


if __name__ == "__main__":
    main()
