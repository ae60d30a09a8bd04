#!/usr/bin/env bash
# Runs inside xvfb-run and dbus-run-session: starts the accessibility bus,
# the program from its own folder, and a script that uses it through the
# accessibility interface; then ends the program with SIGTERM, its normal
# close.
# Usage: accessibility-session.sh <program-folder> <output-folder> <script> [arguments...]
set -u
program="$1/pictrove"
out="$2"
script="$3"
shift 3
export QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 NO_AT_BRIDGE=0
# The scripts share a module; no byte code is left in the source tree.
export PYTHONDONTWRITEBYTECODE=1
for launcher in /usr/libexec/at-spi-bus-launcher /usr/lib/at-spi2-core/at-spi-bus-launcher; do
  if [[ -x "$launcher" ]]; then "$launcher" --launch-immediately & break; fi
done
sleep 1
"$program" >"$out/program.log" 2>&1 &
pid=$!
timeout 120 /usr/bin/python3 "$(dirname "$0")/$script" "$out" "$@" >"$out/script.log" 2>&1
kill -TERM "$pid" 2>/dev/null
for _ in $(seq 1 40); do kill -0 "$pid" 2>/dev/null || break; sleep 0.25; done
kill -KILL "$pid" 2>/dev/null
wait "$pid"
echo "program-exit=$?" >>"$out/session.txt"
exit 0
