#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""An AirPlay sender's side of an RTSP session, enough for a receiver to take a track's tags:
announces uncompressed audio, sets the session up, starts it and sends the track's DMAP tags every
half second, as long as the session holds. Sends no audio.

    airplay_sender.py PORT ALBUM ARTIST TITLE
"""
import socket
import struct
import sys
import time

port, album, artist, title = int(sys.argv[1]), *sys.argv[2:5]
link = socket.create_connection(("127.0.0.1", port))
url = "rtsp://127.0.0.1/1"
sequence = 0


def ask(method, target, headers=None, body=b""):
    global sequence
    sequence += 1
    # shairport-sync 3.3 ends with a segmentation fault on metadata from a sender with no
    # User-Agent: every real one has it.
    fields = {"CSeq": str(sequence), "User-Agent": "AirPlay/381.13", "DACP-ID": "0123456789ABCDEF",
              "Active-Remote": "1"}
    fields.update(headers or {})
    if body:
        fields["Content-Length"] = str(len(body))
    head = f"{method} {target} RTSP/1.0\r\n" + "".join(f"{k}: {v}\r\n" for k, v in fields.items())
    link.sendall(head.encode() + b"\r\n" + body)
    answer = b""
    while b"\r\n\r\n" not in answer:
        chunk = link.recv(4096)
        if not chunk:
            sys.exit(f"{method}: the receiver hung up")
        answer += chunk
    status = answer.split(b"\r\n", 1)[0].decode()
    if " 200 " not in status:
        sys.exit(f"{method}: {status}")
    print(method, status, flush=True)


def dmap(code, value):
    return code.encode() + struct.pack(">I", len(value)) + value


# Ports of our own for the receiver's control and timing packets, which go unanswered.
control = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
control.bind(("127.0.0.1", 0))
timing = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
timing.bind(("127.0.0.1", 0))
sdp = ("v=0\r\no=sender 1 0 IN IP4 127.0.0.1\r\ns=sender\r\nc=IN IP4 127.0.0.1\r\nt=0 0\r\n"
       "m=audio 0 RTP/AVP 96\r\na=rtpmap:96 L16/44100/2\r\n")
ask("ANNOUNCE", url, {"Content-Type": "application/sdp"}, sdp.encode())
ask("SETUP", url, {"Transport": "RTP/AVP/UDP;unicast;interleaved=0-1;mode=record;"
                   f"control_port={control.getsockname()[1]};timing_port={timing.getsockname()[1]}"})
ask("RECORD", url, {"Range": "npt=0-", "RTP-Info": "seq=0;rtptime=0"})
tags = dmap("minm", title.encode()) + dmap("asar", artist.encode()) + dmap("asal", album.encode())
# A receiver that is still starting its player may miss the first: the same tags again change
# nothing once they are in.
while True:
    ask("SET_PARAMETER", url, {"Content-Type": "application/x-dmap-tagged", "RTP-Info": "rtptime=0"},
        dmap("mlit", tags))
    time.sleep(0.5)
