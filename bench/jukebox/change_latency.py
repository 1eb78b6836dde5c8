#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""The two halves of the MPRIS figures (reported, never asserted):

    change_latency.py board PORT           a board-side client: prints "TIME LINE" for each
                                           "playing" it is sent (CLOCK_MONOTONIC seconds)
    change_latency.py figures FLOOR BOARD  from the floor's "sent received title" lines and the
                                           board's: each change's delay to the floor and to the
                                           board's first "playing" of the new title, and what
                                           else the board was told between two changes
"""
import socket
import sys
import time


def board(port):
    link = socket.create_connection(("127.0.0.1", port))
    link.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    link.sendall(b"VELMORA-LINK 1\nOPEN cdj type=devtx\nOPEN cdjr type=devrx\n"
                 b"SEND cdj notify_playing_item[on]\n")
    buffer = b""
    while True:
        data = link.recv(65536)
        if not data:
            break
        at = time.monotonic()
        buffer += data
        *lines, buffer = buffer.split(b"\n")
        for line in lines:
            if line.startswith(b"MSG cdjr playing["):
                print("%.6f %s" % (at, line.decode()), flush=True)


def figures(floor_file, board_file):
    runs = [(float(sent), float(received), title.rstrip("\n"))
            for sent, received, title in (line.split(" ", 2) for line in open(floor_file))]
    told = [(float(line.split(" ", 1)[0]), line.split(" ", 1)[1].rstrip("\n"))
            for line in open(board_file)]
    blank = lambda text: text.endswith('"0"]')
    floor, bridge, messages, blanks, repeats = [], [], 0, 0, 0
    for n, (sent, received, title) in enumerate(runs):
        until = runs[n + 1][0] if n + 1 < len(runs) else float("inf")
        between = [text for at, text in told if sent < at < until]
        messages += len(between)
        blanks += sum(1 for text in between if blank(text))
        repeats += sum(1 for a, b in zip(between, between[1:]) if a == b)
        new = '"%s"' % title
        first = next((at for at, text in told if sent < at < until and new in text), None)
        if received > 0 and first is not None:
            floor.append((received - sent) * 1000)
            bridge.append((first - sent) * 1000)

    def show(name, values):
        values = sorted(values) or [float("nan")]
        pick = lambda q: values[min(len(values) - 1, int(q * len(values)))]
        print("  %-44s median %7.2f ms, p99 %7.2f ms, worst %7.2f ms"
              % (name, pick(0.5), pick(0.99), values[-1]))
    print("  changes measured: %d of %d" % (len(bridge), len(runs)))
    show("floor (bare sd-bus client, PropertiesChanged)", floor)
    show("bridge (board-side client, playing)", bridge)
    show("bridge after the floor, change by change", [b - f for b, f in zip(bridge, floor)])
    print("  playing per change: %.2f; blank ones: %d; the same twice in a row: %d"
          % (messages / max(1, len(runs)), blanks, repeats))


if __name__ == "__main__":
    if sys.argv[1] == "board":
        board(int(sys.argv[2]))
    else:
        figures(sys.argv[2], sys.argv[3])
