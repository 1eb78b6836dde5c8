#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Cross-builds Velmora2000.scr with MinGW-w64 and tests it under Wine on a virtual X display:
# the core's unit tests and the Win32 backend's tests built for Windows, then the real program:
# "/S" against velmora-jukebox on loopback (conversation, board texts, a mouse move ending it),
# "/P" and an empty command line (on/off sequence, no window shown), "/C" confirmed with the
# keyboard (the eleven registry values), the file's version information and icon, and
# velmora-jukebox.exe following a real MPD (tests/e2e/mpd_bridge.sh).
# Prints figures (file size, "/P" timings) and ends with "win32: N passed, M failed".
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

# The Linux build's packages, and the cross compiler, GoogleTest's sources, Wine, pefile and NSIS.
scripts/deps.sh g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 googletest wine wine64 \
  python3-pefile nsis
python=/usr/bin/python3  # Debian's, which has pefile

work=$(mktemp -d /tmp/velmora-win32.XXXXXX)
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
xvfb_pid=""
jukebox_pid=""
cleanup() {
  [ -n "$jukebox_pid" ] && kill "$jukebox_pid" 2>/dev/null || true
  wineserver -k 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

passed=0
failed=0
pass() { passed=$((passed + 1)); echo "PASS $1"; }
fail() { failed=$((failed + 1)); echo "FAIL $1"; }

# A display of our own, 1280 x 1024.
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -noreset -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
exec 3>&-
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"

echo "== Wine prefix"
timeout 300 wineboot -i >/dev/null 2>&1 || true
wineserver -p 60 2>/dev/null || true  # one server for the whole run (it may be up already)
timeout 120 wine reg query 'HKCU\Software' >/dev/null 2>&1 || true

echo "== Build (preset mingw)"
cmake --preset mingw >/dev/null
cmake --build --preset mingw
scr=$root/build/win32-mingw/src/app/Velmora2000.scr
probe=$root/build/win32-mingw/tests/win32/velmora_board_probe.exe

echo "== Windows unit tests under Wine"
if ctest --preset mingw; then pass "unit tests under Wine"; else fail "unit tests under Wine"; fi

echo "== Version information and icon"
if "$python" tests/win32/check_version.py "$scr"; then pass "version information"; else
  fail "version information"; fi

# --- the program under Wine ---

settings='HKCU\Software\VB and VBA Program Settings'
wine reg delete "$settings\\Velmora2000" /f >/dev/null 2>&1 || true

# Traces the user32 calls the start-up and shutdown make, for check_calls.py.
wine reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /t REG_SZ /f /d \
  'user32.ShowCursor;user32.SetWindowPos;user32.ShowWindow;user32.SystemParametersInfoW;user32.GetDesktopWindow;user32.GetWindowRect' \
  >/dev/null

jukebox=${VELMORA_JUKEBOX_BIN:-}
for candidate in build/default/jukebox/velmora-jukebox build/win32-host/jukebox/velmora-jukebox; do
  [ -z "$jukebox" ] && [ -x "$candidate" ] && jukebox=$root/$candidate
done
if [ -z "$jukebox" ]; then
  echo "== Building velmora-jukebox for Linux (build/win32-host)"
  cmake -S . -B build/win32-host -DVELMORA_QT=OFF -DVELMORA_TESTS=OFF -DVELMORA_BENCH=OFF \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build build/win32-host --target velmora-jukebox -j2 >/dev/null
  jukebox=$root/build/win32-host/jukebox/velmora-jukebox
fi

# The service runs on Linux and names its covers by Linux paths; under Wine C:\tmp is /tmp.
mkdir -p "$work/cache"
ln -sfn /tmp "$WINEPREFIX/drive_c/tmp"

start_jukebox() {  # $1: transcript file
  XDG_CACHE_HOME=$work/cache "$jukebox" --demo --port 0 --speed 1 --transcript "$1" \
    >"$work/jukebox.out" 2>&1 &
  jukebox_pid=$!
  for _ in $(seq 100); do grep -q "listening on" "$work/jukebox.out" 2>/dev/null && break; sleep 0.1; done
  local port
  port=$(sed -n 's/.*listening on [^,]*:\([0-9]*\),.*/\1/p' "$work/jukebox.out" | head -1)
  wine reg add "$settings\\Slinkx\\Service" /v Host /t REG_SZ /d 127.0.0.1 /f >/dev/null
  wine reg add "$settings\\Slinkx\\Service" /v Port /t REG_SZ /d "$port" /f >/dev/null
}
stop_jukebox() {
  kill "$jukebox_pid" 2>/dev/null || true
  wait "$jukebox_pid" 2>/dev/null || true
  jukebox_pid=""
}

# Waits up to $2 seconds for the file $1 to hold a line matching $3.
wait_for_line() {
  for _ in $(seq $(($2 * 10))); do grep -q -- "$3" "$1" 2>/dev/null && return 0; sleep 0.1; done
  return 1
}

echo "== /S against velmora-jukebox"
start_jukebox "$work/s.transcript"
(cd "$work" && WINEDEBUG=-all,+relay wine "$scr" /S 2>"$work/s.relay" >/dev/null) &
scr_job=$!
wait_for_line "$work/s.transcript" 60 'MSG cdjr playlist_item' || true
sleep 2
wine "$probe" >"$work/board.txt" 2>/dev/null || true
cat "$work/board.txt"
import -window root "$work/board.png" 2>/dev/null || true
# Two ticks of the notify timer over an unattended board: the echo is renewed at each.
sleep 11
echoes=$(grep -c '< SEND cdj echo\[cdjon\]$' "$work/s.transcript" || true)
if [ "$echoes" -ge 3 ]; then pass "/S: the echo renewed over an unattended board"
else fail "/S: the echo renewed over an unattended board ($echoes echo requests)"; fi
import -window root "$work/board.png" 2>/dev/null || true
# Both points lie on the board's own background, left of the middle (a text field keeps the
# mouse to itself).
for _ in $(seq 40); do
  kill -0 "$scr_job" 2>/dev/null || break
  xdotool mousemove 40 650; sleep 0.2; xdotool mousemove 60 670; sleep 1
done
if kill -0 "$scr_job" 2>/dev/null; then fail "/S: a mouse move ends the board"; else
  pass "/S: a mouse move ends the board"; fi
wait_for_line "$work/s.transcript" 10 'CLOSE cdjr' || true
stop_jukebox
if "$python" tests/win32/wine_checks.py transcript S "$work/s.transcript"; then
  pass "/S: the conversation in order, then the shutdown"; else
  fail "/S: the conversation in order, then the shutdown"; fi
if "$python" tests/win32/wine_checks.py board "$work/board.txt" "$work/s.transcript"; then
  pass "/S: the board shows the playing and the next track"; else
  fail "/S: the board shows the playing and the next track"; fi
if "$python" tests/win32/wine_checks.py calls S "$work/s.relay"; then
  pass "/S: user32 calls of the start-up and shutdown"; else
  fail "/S: user32 calls of the start-up and shutdown"; fi

for mode in "/P 1234" ""; do
  name=${mode:-"(empty)"}
  echo "== $name"
  start_jukebox "$work/p.transcript"
  (cd "$work" && WINEDEBUG=-all,+relay timeout 60 wine "$scr" $mode 2>"$work/p.relay" >/dev/null) ||
    true
  wait_for_line "$work/p.transcript" 10 'CLOSE cdjr' || true
  stop_jukebox
  if "$python" tests/win32/wine_checks.py transcript P "$work/p.transcript"; then
    pass "$name: on and off sequence"; else fail "$name: on and off sequence"; fi
  if "$python" tests/win32/wine_checks.py calls P "$work/p.relay"; then
    pass "$name: no window shown, pointer and saver restored"; else
    fail "$name: no window shown, pointer and saver restored"; fi
done
wine reg delete 'HKCU\Software\Wine\Debug' /v RelayInclude /f >/dev/null 2>&1 || true

echo "== velmora-jukebox.exe following a real MPD"
# The Windows service between a real MPD on loopback and a board (the Linux one when it is built,
# else a stand-in that speaks the board's side of the link).
mpd_board=${VELMORA_LINUX_BIN:-$root/build/default/src/app/velmora2000}
[ -x "$mpd_board" ] || mpd_board=-
if tests/e2e/mpd_bridge.sh "$mpd_board" \
  "wine $root/build/win32-mingw/jukebox/velmora-jukebox.exe" >"$work/mpd.txt" 2>&1; then
  pass "velmora-jukebox.exe --mpd: what MPD plays reaches the board"
else
  cat "$work/mpd.txt"
  fail "velmora-jukebox.exe --mpd: what MPD plays reaches the board"
fi
grep '^PASS' "$work/mpd.txt" || true

echo "== /C confirmed with the keyboard"
# Stored values must come back unchanged, a name outside ASCII included; absent colours become 0.
wine reg add "$settings\\Velmora2000\\Default_color" /v Time /t REG_SZ /d 255 /f >/dev/null
wine reg add "$settings\\Velmora2000\\Default_color" /v Background /t REG_SZ /d 16777215 /f >/dev/null
"$python" - "$WINEPREFIX" <<'EOF'
# reg.exe takes its arguments in the console's code page: write the UTF-8 name through regedit.
import subprocess, sys, tempfile, os
text = ('Windows Registry Editor Version 5.00\r\n\r\n'
        '[HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\Velmora2000\\Default_saver]\r\n'
        '"Name"="Bl\u00e5b\u00e6r.scr"\r\n'
        '"FullPath"="C:\\\\Savers\\\\Bl\u00e5b\u00e6r.scr"\r\n')
path = os.path.join(tempfile.mkdtemp(), 'saver.reg')
with open(path, 'w', encoding='utf-16') as f:
    f.write(text)
subprocess.run(['wine', 'regedit', '/S', path], check=False,
               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
EOF
(cd "$work" && timeout 60 wine "$scr" /c:1234 >/dev/null 2>&1) &
c_job=$!
wid=""
for _ in $(seq 300); do
  wid=$(xdotool search --name '^Velmora2000 Options$' 2>/dev/null | head -1 || true)
  [ -n "$wid" ] && break
  sleep 0.1
done
sleep 1
if [ -n "$wid" ]; then
  import -window root "$work/dialog.png" 2>/dev/null || true
  xdotool windowfocus --sync "$wid" 2>/dev/null || true
  xdotool key space  # the focus starts on "OK"
fi
wait "$c_job" 2>/dev/null || true
wine reg query "$settings\\Velmora2000" /s >"$work/settings.txt" 2>/dev/null || true
if [ -n "$wid" ] && "$python" tests/win32/wine_checks.py settings "$work/settings.txt"; then
  pass "/C: OK writes the eleven values"; else fail "/C: OK writes the eleven values"; fi

echo "== The installer: silent install and uninstall in a Wine prefix of its own"
build=$root/build/win32-mingw
cached() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
runtime_licence=$(cached VELMORA_MINGW_RUNTIME_LICENCE)
if WINEPREFIX=$work/installer-prefix "$python" tests/win32/installer_check.py \
  "$build/Velmora2000-Setup-$(cached CMAKE_PROJECT_VERSION).exe" \
  "Velmora2000.scr=$scr" "velmora-jukebox.exe=$build/jukebox/velmora-jukebox.exe" \
  "velmora-jukebox-background.exe=$build/jukebox/velmora-jukebox-background.exe" \
  "LICENSE.txt=$root/LICENSE" "MinGW-w64-runtime.txt=$runtime_licence" >"$work/installer.txt" 2>&1
then pass "installer: install, service, shortcut, uninstall"; else
  fail "installer: install, service, shortcut, uninstall"; fi
cat "$work/installer.txt"

echo "== Figures"
size=$(stat -c %s "$scr")
echo "Velmora2000.scr: $size bytes"
echo "velmora-jukebox.exe: $(stat -c %s build/win32-mingw/jukebox/velmora-jukebox.exe) bytes"
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
time_runs() {  # prints the median wall time in ms of 5 runs of the command
  for _ in 1 2 3 4 5; do
    local start end
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1 || true
    end=$(date +%s%N)
    echo $(((end - start) / 1000000))
  done | median
}
wine reg add "$settings\\Slinkx\\Service" /v Port /t REG_SZ /d 9 /f >/dev/null  # nobody there
echo "/P under Wine, whole process, median of 5: $(time_runs wine "$scr" /P 1234) ms"
linux=${VELMORA_LINUX_BIN:-$root/build/default/src/app/velmora2000}
if [ -x "$linux" ]; then
  echo "/P Linux build, whole process, median of 5: $(QT_QPA_PLATFORM=offscreen time_runs "$linux" /P 1234) ms"
else
  echo "/P Linux build: not built (build/default)"
fi
if [ -s "$work/board.png" ] && [ -n "${VELMORA_SCREENSHOTS:-}" ]; then
  cp "$work/board.png" "$VELMORA_SCREENSHOTS/win32-board.png"
  [ -s "$work/dialog.png" ] && cp "$work/dialog.png" "$VELMORA_SCREENSHOTS/win32-dialog.png"
fi

# What the runs left, for a look after a failure.
artifacts=$root/build/win32-mingw/wine-runs
rm -rf "$artifacts" && mkdir -p "$artifacts"
cp "$work"/*.transcript "$work"/*.relay "$work"/*.txt "$work"/*.png "$artifacts"/ 2>/dev/null || true

echo "win32: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
