#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Runs a command, then watches regions of the screen until something is drawn in all of them.

    lit_probe.py WxH+X+Y[,WxH+X+Y...] TIMEOUT_S COMMAND...

Prints the milliseconds from just before the command to the first moment when at least 2 % of
each region's pixels are lit (a channel above 64); exits 1 when that does not happen in time.
Reads the screen straight from the X server (xcb GetImage on the root window), a few ms a look.
bench/first_frame.sh imports screen_probe and parse_regions.
"""
import ctypes
import re
import subprocess
import sys
import time


class Cookie(ctypes.Structure):
    _fields_ = [("sequence", ctypes.c_uint)]


# A byte per channel, 1 where the channel is above 64.
BRIGHT = bytes(1 if v > 64 else 0 for v in range(256))


def parse_regions(text):
    return [tuple(map(int, re.fullmatch(r"(\d+)x(\d+)\+(\d+)\+(\d+)", g).groups()))
            for g in text.split(",")]


def screen_probe(regions):
    """A function that tells whether every region (w, h, x, y) of the X screen is lit now."""
    xcb = ctypes.CDLL("libxcb.so.1")
    xcb.xcb_connect.restype = ctypes.c_void_p
    xcb.xcb_connect.argtypes = [ctypes.c_char_p, ctypes.c_void_p]
    xcb.xcb_get_setup.restype = ctypes.c_void_p
    xcb.xcb_get_setup.argtypes = [ctypes.c_void_p]
    xcb.xcb_get_image.restype = Cookie
    xcb.xcb_get_image.argtypes = [ctypes.c_void_p, ctypes.c_uint8, ctypes.c_uint32,
                                  ctypes.c_int16, ctypes.c_int16, ctypes.c_uint16,
                                  ctypes.c_uint16, ctypes.c_uint32]
    xcb.xcb_get_image_reply.restype = ctypes.c_void_p
    xcb.xcb_get_image_reply.argtypes = [ctypes.c_void_p, Cookie, ctypes.c_void_p]
    xcb.xcb_get_image_data.restype = ctypes.POINTER(ctypes.c_uint8)
    xcb.xcb_get_image_data.argtypes = [ctypes.c_void_p]
    xcb.xcb_get_image_data_length.argtypes = [ctypes.c_void_p]
    libc = ctypes.CDLL("libc.so.6")
    libc.free.argtypes = [ctypes.c_void_p]

    connection = xcb.xcb_connect(None, None)
    setup = xcb.xcb_get_setup(connection)
    # xcb_setup_t is 40 bytes, then the vendor string padded to 4, then the pixmap formats (8
    # bytes each), then the first screen, whose first field is its root window.
    raw = ctypes.string_at(setup, 40)
    vendor_len = int.from_bytes(raw[24:26], "little")
    formats = raw[29]
    first_screen = 40 + ((vendor_len + 3) & ~3) + 8 * formats
    root = int.from_bytes(ctypes.string_at(setup + first_screen, 4), "little")

    def region_lit(w, h, x, y):
        reply = xcb.xcb_get_image_reply(
            connection, xcb.xcb_get_image(connection, 2, root, x, y, w, h, 0xFFFFFFFF), None)
        if not reply:
            return False
        n = xcb.xcb_get_image_data_length(reply)
        data = ctypes.string_at(xcb.xcb_get_image_data(reply), n)
        libc.free(reply)
        # 24-bit depth comes as 32 bits a pixel: B, G, R, pad. A pixel is lit when any channel is.
        lit_pixels = 0
        for channel in range(3):
            lit_pixels |= int.from_bytes(data[channel::4].translate(BRIGHT), "little")
        return lit_pixels.bit_count() >= 0.02 * (n // 4)

    return lambda: all(region_lit(*region) for region in regions)


def main():
    regions, timeout, command = parse_regions(sys.argv[1]), float(sys.argv[2]), sys.argv[3:]
    lit = screen_probe(regions)

    start = time.monotonic()
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL)
    while time.monotonic() - start < timeout:
        if lit():
            print(round((time.monotonic() - start) * 1000))
            return 0
        time.sleep(0.005)
    return 1


if __name__ == "__main__":
    sys.exit(main())
