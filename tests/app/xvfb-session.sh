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

"$program" >"$out/first.log" 2>&1 &
first=$!
seen=""
for _ in $(seq 1 60); do
  sleep 0.25
  g=$(geometry "$out/main.png") || continue
  # The splash is 480x240; the main window covers the screen's top left.
  if [[ "$g" == "$expected"+* ]]; then seen="$g"; break; fi
done
echo "main-window=${seen:-none}" >"$out/result.txt"

# A second copy of the same executable: it shows its message and, closed
# with SIGTERM like any message box, ends without a main window.
"$program" >"$out/second.log" 2>&1 &
second=$!
sleep 2
import -window root "$out/second.png" 2>/dev/null
kill -TERM "$second" 2>/dev/null
for _ in $(seq 1 40); do kill -0 "$second" 2>/dev/null || break; sleep 0.25; done
if kill -0 "$second" 2>/dev/null; then
  echo "second=still-running" >>"$out/result.txt"
  kill -KILL "$second"
else
  wait "$second"; echo "second-exit=$?" >>"$out/result.txt"
fi

if kill -0 "$first" 2>/dev/null; then echo "first-alive=yes" >>"$out/result.txt"; fi
kill -TERM "$first" 2>/dev/null
for _ in $(seq 1 40); do kill -0 "$first" 2>/dev/null || break; sleep 0.25; done
if kill -0 "$first" 2>/dev/null; then
  echo "first=still-running" >>"$out/result.txt"
  kill -KILL "$first"
else
  wait "$first"; echo "first-exit=$?" >>"$out/result.txt"
fi
exit 0
