#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The board's first frame, reported and never asserted (docs/benchmarks.md): from exec of
# "velmora2000 /S", with the demo jukebox on loopback, to the first frame that shows both the
# title and the disc's picture; beside it, in the same run, the floor: a bare Qt program's exec to
# the first frame of its frameless full-screen window, bare and with a few labels. The same runs
# also give each program's exec to its window mapped (MapNotify on the root window). Runs
# alternate (board, floor, labelled floor, board, ...) so the machine's load weighs on all alike.
# Xvfb 1280 x 1024, black root window. VELMORA_BUILD_DIR picks another build folder than
# build/default; RUNS the runs of each (20); SESSION_BUS=1 gives the programs a session bus of the
# script's own (else they have none, unless the caller's environment names one).
set -euo pipefail
cd "$(dirname "$0")/.."

build="${VELMORA_BUILD_DIR:-build/default}"
board="$(realpath -m "$build/src/app/velmora2000")"
jukebox="$(realpath -m "$build/jukebox/velmora-jukebox")"
floor="$(realpath -m "$build/bench/velmora_first_frame_floor")"
runs="${RUNS:-20}"
for tool in python3 Xvfb xev; do
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
if [ "${SESSION_BUS:-0}" = 1 ]; then
  dbus-daemon --session --fork --address="unix:path=$work/bus" --print-pid=1 >"$work/bus.pid"
  pids+=("$(cat "$work/bus.pid")")
  export DBUS_SESSION_BUS_ADDRESS="unix:path=$work/bus"
fi
echo "Session bus: ${DBUS_SESSION_BUS_ADDRESS:-none}"
sleep 0.3
kill -0 "${pids[0]}" || { cat "$work/jukebox.log" >&2; exit 1; }

echo "Load average before: $(cut -d' ' -f1-3 /proc/loadavg); $(nproc) cores"
# The regions: the middle of the title's line, and the top left of the disc's picture
# (the board's layout on a 1280 x 1024 screen). The floor paints its whole window white.
PYTHONPATH=tests/e2e python3 - "$board" "$floor" "$runs" <<'EOF'
import queue, signal, statistics, subprocess, sys, threading, time
from lit_probe import parse_regions, screen_probe

board, floor, runs = sys.argv[1], sys.argv[2], int(sys.argv[3])
title, cover = "160x40+555+152", "100x100+400+300"
lit = screen_probe(parse_regions(title + "," + cover))
dark = screen_probe(parse_regions(title)), screen_probe(parse_regions(cover))
corner = screen_probe(parse_regions("100x100+20+20"))  # black on the board, white on the floor

# Each window mapped on the screen, as the X server tells it.
maps = queue.Queue()
xev = subprocess.Popen(["stdbuf", "-oL", "xev", "-root", "-event", "substructure"],
                       stdout=subprocess.PIPE, text=True)
def follow():
    for line in xev.stdout:
        if line.startswith("MapNotify"):
            maps.put(time.monotonic())
threading.Thread(target=follow, daemon=True).start()
time.sleep(0.5)

def first_frame(command, corner_lit):
    while not maps.empty():
        maps.get()
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
    mapped = (maps.get(timeout=5) - start) * 1000
    process.send_signal(signal.SIGTERM)
    if process.wait(timeout=5) not in (0, -signal.SIGTERM):
        sys.exit("%s ended with exit code %d" % (command[0], process.returncode))
    while any(region() for region in dark):  # the screen black again before the next run
        time.sleep(0.01)
    return ms, mapped

programs = (("velmora2000 /S", [board, "/S"], False), ("bare Qt floor", [floor], True),
            ("floor + labels", [floor, "--labels"], True))
frames = {name: [] for name, _, _ in programs}
mapped = {name: [] for name, _, _ in programs}
for run in range(runs + 2):
    for name, command, corner_lit in programs:
        ms, map_ms = first_frame(command, corner_lit)
        if run >= 2:  # warm-up
            frames[name].append(ms)
            mapped[name].append(map_ms)
xev.kill()

def line(times):
    return "median %.1f ms (min %.1f, max %.1f)" % (statistics.median(times), min(times), max(times))
board_name = programs[0][0]
for title, times in (("the first frame with the title and the picture", frames),
                     ("the window mapped", mapped)):
    print("== exec to %s (%d runs each, alternating)" % (title, runs))
    for name, _, _ in programs:
        print("  %-15s %s" % (name + ":", line(times[name])))
    for name, _, _ in programs[1:]:
        print("  board / %s: %.2f (medians)" % (name, statistics.median(times[board_name])
                                               / statistics.median(times[name])))
print("goal: the first frame at most 50 ms after the floor's; mapped at most 1.05 x the floor's")
EOF
echo "Load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
