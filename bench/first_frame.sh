#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The board's first frame, reported and never asserted (docs/benchmarks.md): from exec of
# "velmora2000 /S", with the demo jukebox on loopback, to the first frame that shows both the
# title and the disc's picture; beside it, in the same run, the floor: a bare Qt program's exec to
# the first frame of its frameless full-screen window. Runs alternate (board, floor, board, ...)
# so the machine's load weighs on both alike. Xvfb 1280 x 1024, black root window.
# VELMORA_BUILD_DIR picks another build folder than build/default; RUNS the runs of each (20).
set -euo pipefail
cd "$(dirname "$0")/.."

build="${VELMORA_BUILD_DIR:-build/default}"
board="$(realpath -m "$build/src/app/velmora2000")"
jukebox="$(realpath -m "$build/jukebox/velmora-jukebox")"
floor="$(realpath -m "$build/bench/velmora_first_frame_floor")"
runs="${RUNS:-20}"
for tool in python3 Xvfb; do
  command -v "$tool" >/dev/null || { echo "bench/first_frame.sh needs $tool" >&2; exit 1; }
done
for program in "$board" "$jukebox" "$floor"; do
  [ -x "$program" ] || { echo "build $program first (see docs/benchmarks.md)" >&2; exit 1; }
done

. bench/scratch.sh

port="$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')"
use_port "$port"
"$jukebox" --demo --host 127.0.0.1 --port "$port" >"$work/jukebox.log" 2>&1 &
pids+=($!)

start_xvfb -br
sleep 0.3
kill -0 "${pids[0]}" || { cat "$work/jukebox.log" >&2; exit 1; }

echo "Load average before: $(cut -d' ' -f1-3 /proc/loadavg); $(nproc) cores"
# The regions: the middle of the title's line, and the top left of the disc's picture
# (the board's layout on a 1280 x 1024 screen). The floor paints its whole window white.
PYTHONPATH=tests/e2e python3 - "$board" "$floor" "$runs" <<'EOF'
import signal, statistics, subprocess, sys, time
from lit_probe import parse_regions, screen_probe

board, floor, runs = sys.argv[1], sys.argv[2], int(sys.argv[3])
title, cover = "160x40+555+152", "100x100+400+300"
lit = screen_probe(parse_regions(title + "," + cover))
dark = screen_probe(parse_regions(title)), screen_probe(parse_regions(cover))
corner = screen_probe(parse_regions("100x100+20+20"))  # black on the board, white on the floor

def first_frame(command, corner_lit):
    start = time.monotonic()
    process = subprocess.Popen(command, stdout=subprocess.DEVNULL)
    while not lit():
        if time.monotonic() - start > 10:
            process.kill()
            sys.exit("%s: no frame with the title and the picture in 10 s" % command[0])
        time.sleep(0.002)
    ms = (time.monotonic() - start) * 1000
    if corner() != corner_lit:
        sys.exit("%s: the frame seen is not the one expected" % command[0])
    process.send_signal(signal.SIGTERM)
    if process.wait(timeout=5) not in (0, -signal.SIGTERM):
        sys.exit("%s ended with exit code %d" % (command[0], process.returncode))
    while any(region() for region in dark):  # the screen black again before the next run
        time.sleep(0.01)
    return ms

times = {"board": [], "floor": []}
for run in range(runs + 2):
    for name, command, corner_lit in (("board", [board, "/S"], False), ("floor", [floor], True)):
        ms = first_frame(command, corner_lit)
        if run >= 2:  # warm-up
            times[name].append(ms)

def line(name):
    t = times[name]
    return "median %.1f ms (min %.1f, max %.1f)" % (statistics.median(t), min(t), max(t))
print("== exec to the first frame with the title and the picture (%d runs each, alternating)" % runs)
print("  velmora2000 /S: " + line("board"))
print("  bare Qt floor:  " + line("floor"))
print("  board - floor:  %.1f ms (medians); goal: at most 50 ms"
      % (statistics.median(times["board"]) - statistics.median(times["floor"])))
EOF
echo "Load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
