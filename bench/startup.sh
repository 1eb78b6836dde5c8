#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Whole-process figures of velmora2000, reported and never asserted (docs/benchmarks.md):
#   1. "/P" from exec to exit against a jukebox service on loopback (hyperfine median), on the
#      offscreen platform and on an X server (Xvfb);
#   2. "/S" from exec to the board's window mapped on the X server (median of many runs);
#   3. resident memory of the running board;
#   4. CPU used by the running board over IDLE_SECONDS (60) with no service reachable.
# VELMORA_BUILD_DIR picks another build folder than build/default; RUNS the number of runs.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh hyperfine
build="${VELMORA_BUILD_DIR:-build/default}"
program="$(realpath -m "$build/src/app/velmora2000")"
runs="${RUNS:-40}"
idle_seconds="${IDLE_SECONDS:-60}"
for tool in hyperfine python3 Xvfb xev xdotool; do
  command -v "$tool" >/dev/null || { echo "bench/startup.sh needs $tool" >&2; exit 1; }
done
[ -x "$program" ] || { echo "build $program first (cmake --build $build)" >&2; exit 1; }

. bench/scratch.sh

# A jukebox service that greets each client and counts the conversations that ended properly.
cat >"$work/service.py" <<'EOF'
import socket, sys, threading
server = socket.socket()
server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
server.bind(("127.0.0.1", 0))
server.listen(64)
open(sys.argv[1], "w").write(str(server.getsockname()[1]))
done = 0
def serve(client):
    global done
    lines = []
    for line in client.makefile("rb"):
        lines.append(line.strip())
        if len(lines) == 1:
            client.sendall(b"VELMORA-LINK 1 bench service\n")
    client.close()  # the board ends its side first and waits for ours
    if lines and lines[-1] == b"CLOSE cdjr":
        done += 1
        open(sys.argv[2], "w").write(str(done))
while True:
    client, _ = server.accept()
    threading.Thread(target=serve, args=(client,), daemon=True).start()
EOF
python3 "$work/service.py" "$work/port" "$work/done" &
pids+=($!)
for _ in $(seq 50); do [ -s "$work/port" ] && break; sleep 0.1; done
port="$(cat "$work/port")"
use_port "$port"

start_xvfb

# Wall-clock times swing with the machine's load; the CPU the process used does much less.
summary() {
  python3 -c "import json,sys; r=json.load(open(sys.argv[1]))['results'][0]; print('median %.1f ms wall (min %.1f), CPU %.1f ms user + %.1f ms system' % (r['median']*1000, r['min']*1000, r['user']*1000, r['system']*1000))" "$1"
}
echo "Load average before: $(cut -d' ' -f1-3 /proc/loadavg); $(nproc) cores"

echo "== velmora2000 /P, exec to exit, service on loopback ($runs runs)"
for platform in offscreen xcb; do
  before="$(cat "$work/done" 2>/dev/null || echo 0)"
  QT_QPA_PLATFORM="$platform" hyperfine -N --warmup 3 --runs "$runs" --style basic \
    --export-json "$work/p-$platform.json" "$program /P" >/dev/null
  after="$(cat "$work/done" 2>/dev/null || echo 0)"
  echo "  $platform: $(summary "$work/p-$platform.json");" \
    "complete conversations: $((after - before)) of $((runs + 3))"
done

echo "== velmora2000 /S, exec to the board's window mapped (Xvfb 1280x1024, $runs runs)"
python3 - "$program" "$runs" <<'EOF'
import glob, statistics, subprocess, sys, time
program, runs = sys.argv[1], int(sys.argv[2])
def cpu_ms(pid):  # CPU used so far by all of the process's threads
    total = 0
    for stat in glob.glob("/proc/%d/task/*/schedstat" % pid):
        total += int(open(stat).read().split()[0])
    return total / 1e6
xev = subprocess.Popen(["stdbuf", "-oL", "xev", "-root", "-event", "substructure"],
                       stdout=subprocess.PIPE, text=True)
time.sleep(0.5)
times, cpu = [], []
for _ in range(runs + 2):
    start = time.monotonic()
    board = subprocess.Popen([program, "/S"])
    for line in xev.stdout:
        if line.startswith("MapNotify"):
            break
    times.append((time.monotonic() - start) * 1000)
    cpu.append(cpu_ms(board.pid))
    # Moves to and fro: the first position seen is only recorded, the next one ends the board.
    for i in range(200):
        subprocess.run(["xdotool", "mousemove", str(10 + 10 * (i % 2)), "10"])
        try:
            code = board.wait(timeout=0.05)
            break
        except subprocess.TimeoutExpired:
            pass
    else:
        board.kill()
        sys.exit("the board did not end on the mouse")
    if code != 0:
        sys.exit("the board ended with exit code %d" % code)
xev.kill()
times, cpu = times[2:], cpu[2:]  # warm-up
print("  median %.1f ms wall (min %.1f, max %.1f), CPU %.1f ms (median);"
      " every run ended by the mouse with exit code 0"
      % (statistics.median(times), min(times), max(times), statistics.median(cpu)))
EOF

echo "== the running board: resident memory, and CPU over ${idle_seconds} s with no service"
use_port 9  # discard: nobody listens on loopback
"$program" /S &
board=$!
pids+=("$board")
sleep 3
grep -E 'VmRSS|VmHWM' "/proc/$board/status" | sed 's/^/  /'
ticks() { awk '{print $14 + $15}' "/proc/$board/stat"; }
t0="$(ticks)"
sleep "$idle_seconds"
t1="$(ticks)"
python3 -c "import os,sys; t=int(sys.argv[1]); print('  CPU: %d ticks in %s s = %.3f%% of one core' % (t, sys.argv[2], 100.0 * t / os.sysconf('SC_CLK_TCK') / float(sys.argv[2])))" \
  "$((t1 - t0))" "$idle_seconds"
kill "$board"
