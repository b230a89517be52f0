#!/usr/bin/env bash
# Remakes docs/screenshot.png: the connected main window under a virtual
# display, talking to the emulated simulator with a demo set-up (protocol 6,
# two ECUs, P0301 and P0420 on ECU 1, U0100 on ECU 2, MIL on); and
# docs/screenshot-bench.png: the bench window on that box and two more (one
# with an older firmware) and a port whose device is unplugged.
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
more_pids=""
cleanup() {
  [ -n "$emu_pid" ] && kill "$emu_pid" 2>/dev/null && wait "$emu_pid" 2>/dev/null
  for pid in $more_pids; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT INT TERM

# The port an emulated simulator prints on its first line, once it is up.
port_of() {
  local p=""
  for _ in $(seq 50); do
    p=$(head -n 1 "$1" 2>/dev/null || true)
    [ -n "$p" ] && break
    sleep 0.1
  done
  [ -n "$p" ] || { echo "screenshot: an emulated simulator did not start:" >&2; cat "$1" >&2; exit 1; }
  echo "$p"
}

"$bin/knsim-emu" --protocol 6 --ecus 2 --codes1 P0301,P0420 --codes2 U0100 --mil >"$work/emu.out" 2>&1 &
emu_pid=$!
# Two more boxes for the bench.
"$bin/knsim-emu" --serial KNEMU0002 --protocol 3 --version 1.1.0 >"$work/emu2.out" 2>&1 &
more_pids="$!"
"$bin/knsim-emu" --serial KNEMU0003 --protocol 8 --codes1 C0035 >"$work/emu3.out" 2>&1 &
more_pids="$more_pids $!"
port=$(port_of "$work/emu.out")
port2=$(port_of "$work/emu2.out")
port3=$(port_of "$work/emu3.out")
ports="$port,$port2,$port3"
ports="$ports,$work/ttyUSB9"  # no such device: shown as gone

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
"$work/knsimtool" --bench --port "$ports" >"$work/bench.out" 2>&1 &
tool=\$!
sleep 4   # every box found and read
import -window "KNSimTool bench" "$work/bench.png" || import -window root "$work/bench.png"
kill \$tool 2>/dev/null || true
wait \$tool 2>/dev/null || true
SHOT
chmod +x "$work/shoot.sh"
xvfb-run -a -s "-screen 0 1024x768x24" "$work/shoot.sh"

mkdir -p "$(dirname "$out")"
cp "$work/shot.png" "$out"
cp "$work/bench.png" "$root/docs/screenshot-bench.png"
echo "screenshot: wrote $out and docs/screenshot-bench.png"
