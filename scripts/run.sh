#!/usr/bin/env bash
# Starts the emulated simulator on a pseudo-terminal and the tool connected to
# it; the emulator ends with the tool.
set -eu
build=${1:-build}
bin="$build/bin"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ "${QT_QPA_PLATFORM:-}" != offscreen ]; then
  echo "No display found: run it under a virtual display, e.g. 'xvfb-run -a make run'." >&2
  exit 1
fi

out=$(mktemp)
# A demo set-up, so that there is something to look at and to edit.
"$bin/knsim-emu" --protocol 6 --ecus 2 --codes1 P0301,P0420 --codes2 U0100 --mil >"$out" 2>&1 &
emu=$!
trap 'kill $emu 2>/dev/null; wait $emu 2>/dev/null; rm -f "$out"' EXIT INT TERM

port=""
for _ in $(seq 50); do
  port=$(head -n 1 "$out" 2>/dev/null || true)
  [ -n "$port" ] && break
  sleep 0.1
done
if [ -z "$port" ]; then
  echo "The emulated simulator did not start:" >&2
  cat "$out" >&2
  exit 1
fi
echo "Emulated simulator on $port"
"$bin/knsimtool" --port "$port"
