#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
# The real board under a flood: a stand-in service greets it and then sends 100,000 time codes a
# second; a mouse move must still end the board at once. Prints the time from the move to the
# board's exit. Run under Xvfb:  board_flood.py BOARD [lines per second] [limit in ms]
import os, socket, subprocess, sys, tempfile, threading, time

board = sys.argv[1]
rate = int(sys.argv[2]) if len(sys.argv) > 2 else 100_000
limit_ms = float(sys.argv[3]) if len(sys.argv) > 3 else 100

work = tempfile.mkdtemp()
config = os.path.join(work, "config", "velmora2000")
os.makedirs(config)
listener = socket.socket()
listener.bind(("127.0.0.1", 0))
listener.listen(1)
port = listener.getsockname()[1]
with open(os.path.join(config, "Slinkx.ini"), "w") as ini:
    ini.write(f"[Service]\nHost=127.0.0.1\nPort={port}\n")
env = dict(os.environ, HOME=work, XDG_CONFIG_HOME=os.path.join(work, "config"))
proc = subprocess.Popen([board, "/S"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

listener.settimeout(20)
peer, _ = listener.accept()
peer.sendall(b"VELMORA-LINK 1 flood\n")
stop = threading.Event()
sent = [0]

def drain():
    peer.settimeout(0.2)
    while not stop.is_set():
        try:
            if not peer.recv(65536):
                return
        except socket.timeout:
            continue
        except OSError:
            return

def flood():
    batch, period = rate // 100, 0.01
    lines = b"".join(b"MSG cdjr time[%d:%02d]\n" % (i // 60, i % 60) for i in range(batch))
    next_at = time.monotonic()
    while not stop.is_set():
        try:
            peer.sendall(lines)
        except OSError:
            return
        sent[0] += batch
        next_at += period
        time.sleep(max(0, next_at - time.monotonic()))

threading.Thread(target=drain, daemon=True).start()
flooder = threading.Thread(target=flood, daemon=True)
flooder.start()

time.sleep(3)  # the flood is on, the board on screen
subprocess.run(["xdotool", "mousemove", "20", "20"], check=True)
time.sleep(0.5)
start = time.monotonic()
subprocess.run(["xdotool", "mousemove", "60", "45"], check=True)
while proc.poll() is None and time.monotonic() - start < 10:
    time.sleep(0.001)
elapsed_ms = (time.monotonic() - start) * 1000
flood_s = time.monotonic() - 3.5
stop.set()
if proc.poll() is None:
    proc.kill()
    print(f"FAIL: the board did not end within 10 s of the mouse move ({sent[0]} lines sent)")
    sys.exit(1)
print(f"the board ended {elapsed_ms:.0f} ms after the mouse move, under a flood of {rate} lines/s "
      f"({sent[0]} lines sent)")
sys.exit(0 if elapsed_ms <= limit_ms else 1)
