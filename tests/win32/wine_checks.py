#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""The end-to-end checks of Velmora2000.scr under Wine, each reading what a run left behind:

  transcript S|P FILE      the service's transcript: the board's lines in order
  board PROBE TRANSCRIPT   the board probe's output against the messages the service sent
  calls S|P RELAY          Wine's relay trace: the user32 calls of start-up and shutdown
  settings QUERY           `wine reg query /s` of the program's settings after "OK"

Each prints what is wrong and exits 1, or exits 0."""

import re
import sys

LINE = re.compile(r"^\S+ #(\d+) ([<>*]) (.*)$")
START = ["VELMORA-LINK 1", "OPEN cdj type=devtx", "OPEN cdjr type=devrx",
         "SEND cdj notify_playing_item[on]", "SEND cdj notify_playing_timecode[on]",
         "SEND cdj echo[cdjon]"]
END = ["SEND cdj notify_playing_item[off]", "SEND cdj notify_playing_timecode[off]",
       "CLOSE cdj", "CLOSE cdjr"]


def transcript(path):
    """(direction, text) of every line: '<' from the board, '>' to it."""
    out = []
    for raw in open(path, encoding="utf-8", errors="replace"):
        m = LINE.match(raw.rstrip("\n"))
        if m and m.group(2) in "<>":
            out.append((m.group(2), m.group(3)))
    return out


def fields(text, skip):
    """The message's fields as the board shows them: the service's text, cut at '","'."""
    return text[skip:].split('","')


def check_transcript(mode, path):
    lines = transcript(path)
    board = [text for d, text in lines if d == "<"]
    problems = []
    if mode == "P":
        if board != START + END:
            problems.append(f"the board said {board}, not {START + END}")
        return problems
    if board[:len(START)] != START:
        problems.append(f"start-up was {board[:len(START)]}")
    if board[-len(END):] != END:
        problems.append(f"shutdown was {board[-len(END):]}")
    # Each "playing" leads to "playlist_getpointer"; each pointer n > 0 to "playlist_getitem[n+1]".
    wanted = []
    for d, text in lines:
        if d == ">" and text.startswith("MSG cdjr playing"):
            wanted.append("SEND cdj playlist_getpointer")
        m = re.match(r"MSG cdjr playlist_pointer\[(\d+)\]", text) if d == ">" else None
        if m and int(m.group(1)) > 0:
            wanted.append(f"SEND cdj playlist_getitem[{int(m.group(1)) + 1}]")
    asked = [t for t in board if t.startswith("SEND cdj playlist_")]
    if not wanted or asked[:len(wanted)] != wanted:
        problems.append(f"the look-up went {asked}, expected {wanted}")
    return problems


def check_board(probe_path, transcript_path):
    shown = {}
    window = ""
    for raw in open(probe_path, encoding="utf-8", errors="replace"):
        raw = raw.rstrip("\r\n")
        if raw.startswith("window "):
            window = raw
            continue
        m = re.match(r"(\w+) visible=(\d) text=(.*)$", raw)
        if m:
            shown[m.group(1)] = (m.group(2) == "1", m.group(3))
    problems = []
    if window != "window visible=1 topmost=1 rect=0,0,1280,1024":
        problems.append(f"the window is {window!r}")
    sent = [t for d, t in transcript(transcript_path) if d == ">"]
    playing = [t for t in sent if t.startswith("MSG cdjr playing")]
    items = [t for t in sent if t.startswith("MSG cdjr playlist_item")]
    if not playing or not items:
        return problems + ["the service sent no playing item or no playlist entry"]
    f = fields(playing[-1], len("MSG cdjr playing") + 2)
    expected = {"Album": f[0], "Artist": f[1], "Title": f[2], "TotalTime": f[3]}
    g = fields(items[-1], len("MSG cdjr playlist_item") + 2)
    marker = g[7].split('"')[0]
    expected["NextAlbum"] = g[1]
    expected["NextArtist"] = g[2]
    expected["NextTitle"] = g[3] if marker != "0" else " "
    for name, text in expected.items():
        if shown.get(name, (None, None))[1] != text:
            problems.append(f"{name} shows {shown.get(name)}, expected {text!r}")
    if shown.get("List1", (True,))[0]:
        problems.append("List1 is visible")
    if not re.match(r"^\d+:\d\d$", shown.get("ElapsedTime", (0, ""))[1]):
        problems.append(f"ElapsedTime shows {shown.get('ElapsedTime')}")
    return problems


CALL = re.compile(r"([0-9a-f]{4}):Call user32\.(\w+)\(([^)]*)\) ret=")


def calls(path):
    """Our thread's user32 calls that matter, as (name, [arguments as numbers])."""
    traced = []
    # Threads write their lines at once, so a line may hold another's tail: search, not match.
    for m in CALL.finditer(open(path, encoding="utf-8", errors="replace").read()):
        traced.append((m.group(1), m.group(2), [int(a, 16) for a in m.group(3).split(",") if a]))
    ours = {tid for tid, name, _ in traced if name == "ShowCursor"}  # only the board calls it
    out = []
    placed = False
    for tid, name, args in traced:
        if tid not in ours:
            continue
        if name in ("GetDesktopWindow", "GetWindowRect") and placed:
            continue  # the common controls asking, for a message box
        if name == "SystemParametersInfoW" and args[0] != 0x11:
            continue  # metrics and work area, read for drawing
        if name == "SetWindowPos" and not (args[6] & 0x40) and args[1] != 2**64 - 1:
            continue  # stacking the controls in tab order
        if name == "ShowWindow" and args[1] == 0:
            continue
        placed = placed or name == "SetWindowPos"
        out.append((name, args))
    return out


def check_calls(mode, path):
    seen = calls(path)
    names = [name for name, _ in seen]
    if mode == "P":
        expected = [("ShowCursor", [0]), ("ShowCursor", [1]),
                    ("SystemParametersInfoW", [0x11, 1, 0, 0])]
        return [] if seen == expected else [f"calls were {seen}, expected {expected}"]
    problems = []
    order = ["ShowCursor", "GetDesktopWindow", "GetWindowRect", "SystemParametersInfoW",
             "SetWindowPos", "ShowCursor", "ShowCursor", "SystemParametersInfoW"]
    if names != order:
        return [f"calls were {seen}"]
    if seen[0][1] != [0] or seen[5][1] != [0] or seen[6][1] != [1]:
        problems.append("ShowCursor went other than FALSE, FALSE, TRUE")
    if seen[3][1] != [0x11, 0, 0, 0] or seen[7][1] != [0x11, 1, 0, 0]:
        problems.append(f"screen saving was set by {seen[3][1]} and {seen[7][1]}")
    # X, Y, cx, cy and the flags are 32-bit: on x64 the upper half of their slot is whatever was
    # there, so only the lower half is the argument.
    place = seen[4][1][:2] + [a & 0xFFFFFFFF for a in seen[4][1][2:]]
    if place[1:] != [2**64 - 1, 0, 0, 1280, 1024, 0x40]:
        problems.append(f"SetWindowPos got {place}")
    return problems


def check_settings(path):
    values = {}
    section = None
    for raw in open(path, encoding="utf-8", errors="replace"):
        raw = raw.rstrip("\r\n")
        if raw.startswith("HKEY_"):
            section = raw.rsplit("\\", 1)[1]
            continue
        m = re.match(r"^\s+(\S+)\s+REG_SZ\s*(.*)$", raw)
        if m and section:
            values[(section, m.group(1))] = m.group(2)
    # Colours nobody chose are stored as the board shows them: its design colours.
    expected = {("Default_color", k): "49344" for k in ["Title", "Artist", "CDTitle", "NextSong"]}
    expected[("Default_color", "Section")] = "12632256"
    expected[("Default_color", "Time")] = "255"
    expected[("Default_color", "Background")] = "16777215"
    expected[("Default_picture", "Name")] = ""
    expected[("Default_picture", "FullPath")] = ""
    problems = [f"{k} is {values.get(k)!r}, expected {v!r}"
                for k, v in expected.items() if values.get(k) != v]
    # The stored saver name is not ASCII; the console may show it in another code page.
    for key in ["Name", "FullPath"]:
        if not values.get(("Default_saver", key), "").endswith(".scr"):
            problems.append(f"Default_saver {key} is {values.get(('Default_saver', key))!r}")
    if len(values) != 11:
        problems.append(f"{len(values)} values, not 11")
    return problems


def main(argv):
    command, *args = argv
    problems = {"transcript": check_transcript, "board": check_board, "calls": check_calls,
                "settings": check_settings}[command](*args)
    for problem in problems:
        print(f"{command}: {problem}")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
