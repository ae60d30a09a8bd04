#!/usr/bin/env bash
# Runs inside xvfb-run: starts a copy of pictrove from its own program
# folder, waits (bounded) for its main window, screenshots it, starts a
# second copy that must refuse to run, then ends the first copy with SIGTERM,
# which closes it the normal way so that it writes its settings.
# Usage: xvfb-session.sh <program-folder> <output-folder> <expected WxH>
set -u
program="$1/pictrove"
out="$2"
expected="$3"
export QT_QPA_PLATFORM=xcb

geometry() { import -window root "$1" 2>/dev/null && identify -format '%@' "$1" 2>/dev/null; }

# Sends SIGTERM to a copy and waits up to ten seconds for it to end;
# records "<name>-exit=<status>", or kills a copy that hangs.
terminate() {
  local name="$1" pid="$2"
  kill -TERM "$pid" 2>/dev/null
  for _ in $(seq 1 40); do kill -0 "$pid" 2>/dev/null || break; sleep 0.25; done
  if kill -0 "$pid" 2>/dev/null; then
    echo "$name=still-running" >>"$out/result.txt"
    kill -KILL "$pid"
  else
    wait "$pid"; echo "$name-exit=$?" >>"$out/result.txt"
  fi
}

"$program" >"$out/first.log" 2>&1 &
first=$!
seen=""
for _ in $(seq 1 120); do
  sleep 0.25
  g=$(geometry "$out/main.png") || continue
  # The splash is 480x240; the main window covers the screen's top left.
  if [[ "$g" == "$expected"+* ]]; then seen="$g"; break; fi
done
echo "main-window=${seen:-none}" >"$out/result.txt"

# A second copy of the same executable. Refused, it keeps its splash (which
# reaches past the main window's right edge) on screen behind its message
# until that is closed; started, its splash would be gone within a second.
"$program" >"$out/second.log" 2>&1 &
second=$!
for _ in $(seq 1 40); do
  sleep 0.25
  g=$(geometry "$out/second.png") || continue
  [[ "$g" != "$expected"+* ]] && break
done
sleep 1.5
echo "second-screen=$(geometry "$out/second.png")" >>"$out/result.txt"
# Closed with SIGTERM like any message box, it ends without a main window.
terminate second "$second"

if kill -0 "$first" 2>/dev/null; then echo "first-alive=yes" >>"$out/result.txt"; fi
terminate first "$first"
exit 0
