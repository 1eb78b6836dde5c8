#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""A stand-in for a screen-saver host (the preview box of its settings program): makes a window
of WIDTH x HEIGHT at (50, 40), prints its id, and keeps it for SECONDS.

    host_window.py WIDTH HEIGHT SECONDS
"""
import ctypes
import sys
import time

xcb = ctypes.CDLL("libxcb.so.1")
class Cookie(ctypes.Structure): _fields_=[("sequence", ctypes.c_uint)]
xcb.xcb_connect.restype = ctypes.c_void_p
xcb.xcb_connect.argtypes = [ctypes.c_char_p, ctypes.c_void_p]
xcb.xcb_get_setup.restype = ctypes.c_void_p
xcb.xcb_get_setup.argtypes = [ctypes.c_void_p]
xcb.xcb_generate_id.argtypes = [ctypes.c_void_p]
xcb.xcb_generate_id.restype = ctypes.c_uint32
xcb.xcb_create_window.argtypes = [ctypes.c_void_p, ctypes.c_uint8, ctypes.c_uint32, ctypes.c_uint32, ctypes.c_int16, ctypes.c_int16, ctypes.c_uint16, ctypes.c_uint16, ctypes.c_uint16, ctypes.c_uint16, ctypes.c_uint32, ctypes.c_uint32, ctypes.c_void_p]
xcb.xcb_create_window.restype = Cookie
xcb.xcb_map_window.argtypes = [ctypes.c_void_p, ctypes.c_uint32]
xcb.xcb_map_window.restype = Cookie
xcb.xcb_flush.argtypes = [ctypes.c_void_p]
c = xcb.xcb_connect(None, None)
setup = xcb.xcb_get_setup(c)
raw = ctypes.string_at(setup, 40)
vl = int.from_bytes(raw[24:26], "little"); nf = raw[29]
scr = setup + 40 + ((vl + 3) & ~3) + 8 * nf
root = int.from_bytes(ctypes.string_at(scr, 4), "little")
w, h = int(sys.argv[1]), int(sys.argv[2])
wid = xcb.xcb_generate_id(c)
vals = (ctypes.c_uint32 * 1)(0x00202020)  # back pixel: dark grey
xcb.xcb_create_window(c, 0, wid, root, 50, 40, w, h, 0, 1, 0, 0x2, vals)  # CW_BACK_PIXEL
xcb.xcb_map_window(c, wid)
xcb.xcb_flush(c)
print(hex(wid), flush=True)
time.sleep(float(sys.argv[3]))
