#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""A board's side of the link, for tests and figures: greets, opens cdj and cdjr, turns the
notifications on, and follows each "playing" with the look-up of the next song, as the board does.

    link_board.py PORT [SECONDS]            one board; prints every message as it arrives
    link_board.py PORT SECONDS --boards N   N boards; prints, per board, each time message's
                                            delay after the first board got it (ms), for p99
"""
import selectors
import socket
import sys
import time

HELLO = (b"VELMORA-LINK 1\nOPEN cdj type=devtx\nOPEN cdjr type=devrx\n"
         b"SEND cdj notify_playing_item[on]\nSEND cdj notify_playing_timecode[on]\n")


class Board:
    def __init__(self, port):
        self.sock = socket.create_connection(("127.0.0.1", port))
        self.sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self.sock.sendall(HELLO)
        self.buffer = b""

    def lines(self):
        data = self.sock.recv(65536)
        if not data:
            raise ConnectionError("service hung up")
        self.buffer += data
        *whole, self.buffer = self.buffer.split(b"\n")
        for line in whole:
            text = line.decode("utf-8")
            if text.startswith("MSG cdjr playing["):
                self.sock.sendall(b"SEND cdj playlist_getpointer\n")
            elif text.startswith("MSG cdjr playlist_pointer["):
                n = int(text[len("MSG cdjr playlist_pointer["):-1])
                self.sock.sendall(b"SEND cdj playlist_getitem[%d]\n" % (n + 1))
            yield text


def main():
    port = int(sys.argv[1])
    seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 1e6
    count = int(sys.argv[4]) if len(sys.argv) > 4 and sys.argv[3] == "--boards" else 1
    boards = [Board(port) for _ in range(count)]
    selector = selectors.DefaultSelector()
    for board in boards:
        selector.register(board.sock, selectors.EVENT_READ, board)
    first_seen = {}  # time text -> when the first board had it
    delays = []
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        for key, _ in selector.select(timeout=max(0.0, end - time.monotonic())):
            now = time.monotonic()
            for text in key.data.lines():
                if count == 1:
                    print(text, flush=True)
                elif text.startswith("MSG cdjr time["):
                    if text in first_seen:
                        delays.append((now - first_seen[text]) * 1000)
                    else:
                        first_seen[text] = now
    if count > 1:
        delays.sort()
        if delays:
            pick = lambda q: delays[min(len(delays) - 1, int(q * len(delays)))]
            print("boards %d, time messages %d, delay after the first board: median %.2f ms, "
                  "p99 %.2f ms, max %.2f ms" % (count, len(first_seen), pick(0.5), pick(0.99),
                                               delays[-1]))


if __name__ == "__main__":
    main()
