#!/usr/bin/env bash
# Remakes docs/screenshot.png: the connected main window under a virtual
# display, talking to the emulated simulator with a demo set-up (protocol 6,
# two ECUs, P0301 and P0420 on ECU 1, U0100 on ECU 2, MIL on).
# Needs xvfb-run and ImageMagick's import. Usage: scripts/screenshot.sh [build-dir]
set -eu
build=${1:-build}
bin="$build/bin"
root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/docs/screenshot.png"
title="KARNOL-Simulator Tool v1.200"

for tool in xvfb-run import; do
  command -v "$tool" >/dev/null || { echo "screenshot: $tool is missing (scripts/install-deps.sh installs it)" >&2; exit 1; }
done
[ -x "$bin/knsimtool" ] && [ -x "$bin/knsim-emu" ] || { echo "screenshot: build first (make build)" >&2; exit 1; }

work=$(mktemp -d)
emu_pid=""
cleanup() {
  [ -n "$emu_pid" ] && kill "$emu_pid" 2>/dev/null && wait "$emu_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT INT TERM

"$bin/knsim-emu" --protocol 6 --ecus 2 --codes1 P0301,P0420 --codes2 U0100 --mil >"$work/emu.out" 2>&1 &
emu_pid=$!
port=""
for _ in $(seq 50); do
  port=$(head -n 1 "$work/emu.out" 2>/dev/null || true)
  [ -n "$port" ] && break
  sleep 0.1
done
[ -n "$port" ] || { echo "screenshot: the emulated simulator did not start:" >&2; cat "$work/emu.out" >&2; exit 1; }

# The tool runs from a copy so that its settings file (kept beside the
# program) neither comes from nor lands in the build folder.
cp "$bin/knsimtool" "$work/knsimtool"

cat >"$work/shoot.sh" <<SHOT
#!/usr/bin/env bash
set -eu
"$work/knsimtool" --port "$port" >"$work/tool.out" 2>&1 &
tool=\$!
sleep 3   # found, configuration read, first status polls
import -window "$title" "$work/shot.png" || import -window root "$work/shot.png"
kill \$tool 2>/dev/null || true
wait \$tool 2>/dev/null || true
SHOT
chmod +x "$work/shoot.sh"
xvfb-run -a -s "-screen 0 1024x768x24" "$work/shoot.sh"

mkdir -p "$(dirname "$out")"
cp "$work/shot.png" "$out"
echo "screenshot: wrote $out"
