#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""The page at 1280 x 1024 in Chromium beside the native board on a 1280 x 1024 screen (Xvfb), both
on one jukebox playing the same track, and every field's drawn box compared: the box of the
pixels that are not background inside each field's place, edge by edge, within TOLERANCE pixels.

    screenshot_pair.py VELMORA2000 VELMORA_WEB VELMORA_JUKEBOX OUT_DIR

Writes OUT_DIR/web-board-1280x1024.png and OUT_DIR/native-board-1280x1024.png and prints the
table of boxes.
"""
import os
import subprocess
import sys
import tempfile
import time

from browsers import Program, free_port, open_browser, wait_until

WIDTH, HEIGHT = 1280, 1024
TOLERANCE = 4  # pixels
CANVAS = (12240, 9300)  # twips
# The board's fields in the design (twips): left, top, width, height.
FIELDS = {
    "Label1": (240, 480, 11655, 375), "Artist": (240, 840, 11655, 495),
    "Title": (240, 1320, 11655, 495), "Album": (240, 1800, 11655, 375),
    "CDImage": (3600, 2280, 4935, 4935), "Label3": (1560, 4560, 1455, 255),
    "ElapsedTime": (1560, 4800, 1455, 495), "Label4": (9120, 4560, 1455, 255),
    "TotalTime": (9120, 4800, 1455, 495), "Label2": (240, 7320, 11655, 375),
    "NextArtist": (240, 7680, 11655, 495), "NextTitle": (240, 8160, 11655, 495),
    "NextAlbum": (240, 8640, 11655, 375),
}


def pixels(png):
    """The picture's RGB bytes, through ImageMagick."""
    raw = subprocess.run(["convert", png, "-depth", "8", "rgb:-"], check=True,
                         capture_output=True).stdout
    assert len(raw) == WIDTH * HEIGHT * 3, (png, len(raw))
    return raw


def ink_box(raw, place):
    """The box of the pixels brighter than the black background inside a field's place."""
    left, top, width, height = place
    x0, x1 = int(left * WIDTH / CANVAS[0]), int((left + width) * WIDTH / CANVAS[0])
    y0, y1 = int(top * HEIGHT / CANVAS[1]), int((top + height) * HEIGHT / CANVAS[1])
    box = None
    for y in range(y0, min(y1, HEIGHT)):
        row = raw[(y * WIDTH + x0) * 3:(y * WIDTH + x1) * 3]
        lit = [i // 3 for i in range(0, len(row), 3) if row[i] + row[i + 1] + row[i + 2] > 96]
        if lit:
            l, r = x0 + lit[0], x0 + lit[-1]
            box = [l, y, r, y] if box is None else [min(box[0], l), box[1], max(box[2], r), y]
    return box


def shoot_native(board, port, folder, png):
    config = os.path.join(folder, "native-config")
    os.makedirs(os.path.join(config, "velmora2000"), exist_ok=True)
    with open(os.path.join(config, "velmora2000", "Slinkx.ini"), "w") as ini:
        ini.write("[Service]\nHost=127.0.0.1\nPort=%d\n" % port)
    subprocess.run(
        ["xvfb-run", "-a", "-s", "-screen 0 %dx%dx24 -dpi 96 -noreset -nolisten tcp" % (WIDTH, HEIGHT),
         "env", "XDG_CONFIG_HOME=" + config, "QT_FONT_DPI=96", "sh", "-c",
         '"$1" /S & pid=$!; sleep 6; import -window root "$2"; kill $pid; wait $pid', "sh",
         board, png], check=True, timeout=60)


def main():
    board, web_program, jukebox_program, out = sys.argv[1:5]
    folder = tempfile.mkdtemp(prefix="velmora-web-pair-")
    os.environ["XDG_CACHE_HOME"] = os.path.join(folder, "cache")
    os.environ["XDG_CONFIG_HOME"] = os.path.join(folder, "config")
    service_port, web_port = free_port(), free_port()
    # The first track, its clock all but stopped: both screens show the same thing.
    jukebox = Program("jukebox", [jukebox_program, "--demo", "--speed", "0.01", "--port",
                                  str(service_port)], folder).start()
    web = Program("web", [web_program, "--listen", "127.0.0.1:%d" % web_port, "--jukebox",
                          "127.0.0.1:%d" % service_port], folder).start()
    web_png = os.path.join(out, "web-board-1280x1024.png")
    native_png = os.path.join(out, "native-board-1280x1024.png")
    browser = open_browser("chromium", folder)
    try:
        browser.get("http://127.0.0.1:%d/?drift=0" % web_port)
        wait_until("the board with its cover", 20, lambda: browser.execute_script(
            "var i = document.querySelector('#board img');"
            "var n = document.querySelector('[data-name=NextTitle]');"
            "return !!(i && i.naturalWidth && n && n.textContent)"))
        time.sleep(0.5)
        browser.save_screenshot(web_png)
        shoot_native(board, service_port, folder, native_png)
    finally:
        browser.quit()
        web.stop()
        jukebox.stop()

    web_raw, native_raw = pixels(web_png), pixels(native_png)
    worst = 0
    print("%-12s %-22s %-22s %s" % ("field", "native box", "page box", "largest gap"))
    for name, place in FIELDS.items():
        native, page = ink_box(native_raw, place), ink_box(web_raw, place)
        assert (native is None) == (page is None), (name, native, page)
        gap = max(abs(a - b) for a, b in zip(native, page)) if native else 0
        worst = max(worst, gap)
        print("%-12s %-22s %-22s %d px" % (name, native, page, gap))
    assert worst <= TOLERANCE, "a field is %d px away from the native board's" % worst
    print("every field within %d px of the native board's (largest gap %d px)" % (TOLERANCE, worst))


if __name__ == "__main__":
    main()
