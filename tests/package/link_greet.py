#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Greets a jukebox service as a board does and waits for what it plays.

    link_greet.py PORT TIMEOUT_S [WEB_PORT]

Connects to 127.0.0.1:PORT (again and again until the service listens), writes the board's first
lines, and exits 0 once the service's first line and a "playing" message have come; prints both.
With WEB_PORT, the browser board (velmora-web, started by the service's --web) must then serve its
page there too. Exits 1 on a wrong first line, a closed connection, a missing page or the timeout.
"""
import socket
import sys
import time
import urllib.request

HELLO = (b"VELMORA-LINK 1\nOPEN cdj type=devtx\nOPEN cdjr type=devrx\n"
         b"SEND cdj notify_playing_item[on]\n")


def connect(port, deadline):
    while True:
        try:
            return socket.create_connection(("127.0.0.1", port), timeout=1)
        except OSError:
            if time.monotonic() > deadline:
                raise
            time.sleep(0.2)


def fetch_page(port, deadline):
    try:
        connect(port, deadline).close()
        with urllib.request.urlopen("http://127.0.0.1:%d/" % port, timeout=30) as reply:
            page = reply.read()
    except OSError as error:
        print(f"link_greet: no browser board on port {port}: {error}")
        return False
    print("link_greet: the browser board's page: %d bytes" % len(page))
    return b"<html" in page.lower()


def main():
    port, deadline = int(sys.argv[1]), time.monotonic() + float(sys.argv[2])
    web_port = int(sys.argv[3]) if len(sys.argv) > 3 else None
    try:
        sock = connect(port, deadline)
    except OSError as error:
        print(f"link_greet: no service on port {port}: {error}")
        return 1
    sock.sendall(HELLO)
    buffer, first = b"", None
    while time.monotonic() < deadline:
        try:
            data = sock.recv(65536)
        except socket.timeout:
            continue
        if not data:
            print("link_greet: the service hung up")
            return 1
        *lines, buffer = (buffer + data).split(b"\n")
        for line in (raw.decode("utf-8", "replace") for raw in lines):
            if first is None:
                first = line
                print(f"link_greet: < {line}")
                if line != "VELMORA-LINK 1" and not line.startswith("VELMORA-LINK 1 "):
                    print("link_greet: not the link protocol's first line")
                    return 1
            elif line.startswith("MSG cdjr playing["):
                print(f"link_greet: < {line}")
                return 0 if web_port is None or fetch_page(web_port, deadline) else 1
    print("link_greet: no playing message in time")
    return 1


if __name__ == "__main__":
    sys.exit(main())
