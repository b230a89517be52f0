#!/usr/bin/env bash
# Runs the Windows test programs under wine against our emulator.
#
#   scripts/test-windows.sh BUILD_WINDOWS BUILD_LINUX [COMMAND...]
#
# Without a command it runs ctest in BUILD_WINDOWS; with one it runs that
# command in the same prepared environment (for a look by hand), e.g.
#   scripts/test-windows.sh build-windows build \
#     scripts/wine-run.sh build-windows/bin/knsimtool-cli.exe --port COM12 info
#
# It works inside a private mount namespace in which /dev/ttyS0 (wine's COM1,
# and on our machines the console) is covered by an empty file. It prepares a
# wine prefix under BUILD_WINDOWS, starts one emulator (BUILD_LINUX's
# knsim-emu, native) per port on a pseudo-terminal reached through a symbolic
# link, maps COM ports to those links in HKLM\Software\Wine\Ports, starts the
# wine server once, persistently (a server started by each test would keep
# the test's output open and cost seconds per test), and stops everything at
# the end. The tests learn their ports from KNS_WIN_PORT_* variables. The
# window's programs run on a virtual display (Xvfb, openbox) that the script
# starts too.
set -euo pipefail

if [ $# -lt 2 ]; then
  echo "Usage: $0 BUILD_WINDOWS BUILD_LINUX [COMMAND...]" >&2
  exit 2
fi
win_build=$(cd "$1" && pwd)
linux_build=$(cd "$2" && pwd)
shift 2

if [ "${KNS_WINE_GUARDED:-}" != 1 ]; then
  cover="$win_build/ttyS0-cover"
  : > "$cover"
  # Into the namespace, and this script again from the top.
  exec unshare --mount --propagation private sh -c '
    if [ -e /dev/ttyS0 ]; then mount --bind "$0" /dev/ttyS0 || exit 125; fi
    exec "$@"' "$cover" env KNS_WINE_GUARDED=1 "$0" "$win_build" "$linux_build" "$@"
fi
if [ -c /dev/ttyS0 ]; then
  echo "test-windows.sh: /dev/ttyS0 is still a device; refusing to start wine" >&2
  exit 125
fi

here=$(cd "$(dirname "$0")" && pwd)
emulator="$linux_build/bin/knsim-emu"
[ -x "$emulator" ] || { echo "test-windows.sh: $emulator is missing (build knsim-emu)" >&2; exit 1; }
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver

export WINEPREFIX="$win_build/wineprefix"
export WINEDEBUG=-all
# No Mono or Gecko prompts in a new prefix; a program that crashes ends at
# once instead of waiting in wine's debugger until its test times out; and
# shortcuts that a setup program makes stay inside the prefix (wine's menu
# builder would copy them into this machine's own desktop menus).
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d;winemenubuilder.exe=d"
run_dir="$win_build/wine-run"
rm -rf "$run_dir"
mkdir -p "$run_dir"
server_log="$run_dir/wineserver.log"

emulator_pids=()
display_pids=()
cleanup() {
  "$wineserver" -k 2>/dev/null || true
  for pid in "${emulator_pids[@]}" "${display_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${emulator_pids[@]}" "${display_pids[@]}"; do wait "$pid" 2>/dev/null || true; done
}
trap cleanup EXIT

# A Windows path for a file of ours (wine's drive Z: is the root).
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Preparing the wine prefix (once)"
  "$wine" wineboot --init > "$run_dir/wineboot.log" 2>&1
  "$wineserver" -w
fi

# The window's programs need a display: a virtual one with a window manager,
# so that wine's windows get frames, focus and activation as on a desktop.
# 1600 x 1000 holds the window whole at every scale up to 200 %.
# Xvfb picks a free display number itself and writes it to fd 5.
Xvfb -displayfd 5 -screen 0 1600x1000x24 -nolisten tcp 5>"$run_dir/display" >"$run_dir/xvfb.log" 2>&1 &
display_pids+=($!)
for _ in $(seq 100); do [ -s "$run_dir/display" ] && break; sleep 0.05; done
[ -s "$run_dir/display" ] || { echo "test-windows.sh: Xvfb did not start" >&2; cat "$run_dir/xvfb.log" >&2; exit 1; }
export DISPLAY=":$(head -n 1 "$run_dir/display")"
openbox >"$run_dir/openbox.log" 2>&1 &
display_pids+=($!)

# Port name, what it is for, emulator options.
ports=(
  "COM2  SERIAL     --serial KNWIN0002"
  "COM3  VANISH     --serial KNWIN0003 --vanish-after 1 --return-after 300"
  "COM4  WINDOW     --serial KNWIN0004"
  "COM5  UPDATE     --serial KNWIN0005 --version 1.0.0"
  "COM6  CLOSING    --serial KNWIN0006"
  "COM7  BENCH      --serial KNWIN0007 --version 1.1.0 --protocol 3"
  "COM8  UPDATEFAIL --serial KNWIN0008 --version 1.0.0 --bad-ack 5"
  "COM9  PACED      --serial KNWIN0009 --pace"
  "COM10 LINK       --serial KNWIN0010"
  "COM12 CLI        --serial KNWIN0012"
)
reg="$run_dir/ports.reg"
# The screen at 100 % (96 pixels per inch) unless a test says otherwise;
# a run that ended half-way may have left another scale behind.
printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Control Panel\\Desktop]\n"LogPixels"=dword:00000060\n\n' > "$reg"
printf '[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\n' >> "$reg"
for entry in "${ports[@]}"; do
  read -r com role options <<< "$entry"
  link="$run_dir/link-$com"
  log="$run_dir/emu-$com.log"
  # shellcheck disable=SC2086
  "$emulator" --link "$link" --log "$log" $options > "$run_dir/emu-$com.out" 2>&1 &
  emulator_pids+=($!)
  for _ in $(seq 100); do [ -L "$link" ] && break; sleep 0.05; done
  [ -L "$link" ] || { echo "test-windows.sh: the emulator for $com did not start" >&2; cat "$run_dir/emu-$com.out" >&2; exit 1; }
  printf '"%s"="%s"\n' "$com" "$link" >> "$reg"
  export "KNS_WIN_PORT_$role=$com"
  export "KNS_WIN_LOG_$role=$(windows_path "$log")"
done
# A name that no device has.
export KNS_WIN_PORT_MISSING=COM42

# A simulator on the network: ser2net (our own instance, with our own
# configuration, never the system's service) on the loopback interface in
# front of one more emulator, which wine does not map; wine's Winsock reaches
# it as rfc2217://127.0.0.1:PORT.
net_link="$run_dir/link-network"
net_log="$run_dir/emu-network.log"
"$emulator" --link "$net_link" --log "$net_log" --serial KNWIN0013 > "$run_dir/emu-network.out" 2>&1 &
emulator_pids+=($!)
for _ in $(seq 100); do [ -L "$net_link" ] && break; sleep 0.05; done
[ -L "$net_link" ] || { echo "test-windows.sh: the network emulator did not start" >&2; exit 1; }
net_port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
printf 'connection: &network\n  accepter: telnet(rfc2217),tcp,127.0.0.1,%s\n  connector: serialdev,%s,115200n81,local\n  options:\n    chardelay: false\n' \
  "$net_port" "$(readlink -f "$net_link")" > "$run_dir/ser2net.yaml"
/usr/sbin/ser2net -n -c "$run_dir/ser2net.yaml" -P "$run_dir/ser2net.pid" > "$run_dir/ser2net.log" 2>&1 &
emulator_pids+=($!)
# Listening, as /proc/net/tcp shows it (state 0A): asking by a connection
# would take the server's one session.
listening() { grep -q "0100007F:$(printf '%04X' "$net_port") [0-9A-F:]* 0A" /proc/net/tcp; }
for _ in $(seq 100); do listening && break; sleep 0.05; done
listening || { echo "test-windows.sh: ser2net did not start" >&2; cat "$run_dir/ser2net.log" >&2; exit 1; }
export KNS_WIN_PORT_NETWORK="rfc2217://127.0.0.1:$net_port"
KNS_WIN_LOG_NETWORK="$(windows_path "$net_log")"
export KNS_WIN_LOG_NETWORK

# The mapping is read when the server starts: write it, stop the server, and
# start the one that stays for the whole run.
"$wine" regedit /S "$(windows_path "$reg")" >> "$server_log" 2>&1
"$wineserver" -k 2>/dev/null || true
"$wineserver" -w
"$wineserver" -p 2>> "$server_log"
"$wine" cmd /c exit >> "$server_log" 2>&1   # warm-up: the first program pays for the start

if [ $# -gt 0 ]; then
  "$@"
else
  cd "$win_build"
  # One test at a time: wine programs side by side on a small machine only
  # slow each other down, and the run takes no longer this way. Wine now and
  # then refuses to start a program on a busy machine, so a case that fails
  # once is run once more, and ctest names it; one that fails twice fails.
  ctest --output-on-failure --repeat until-pass:2
fi
