#!/usr/bin/env bash
# Remakes docs/screenshot-windows.png: knsimtool.exe, installed by the setup
# program, under wine on the virtual display, connected to the emulator behind
# COM12 (the demo set-up: protocol 6, two ECUs, P0301 and P0420 on ECU 1,
# U0100 on ECU 2, MIL on), as docs/screenshot.png shows the Linux window; and
# docs/screenshot-windows-150.png, the same on a screen scaled to 150 % (wine's
# LogPixels 144), as most Windows laptops run.
#
#   make screenshot-windows
#
set -euo pipefail

win_build=$(cd "${1:?usage: $0 BUILD_WINDOWS}" && pwd)
root=$(cd "$(dirname "$0")/.." && pwd)
# Wine maps COM1 to /dev/ttyS0, this machine's console. Started on its own,
# the script goes through test-windows.sh, which runs it in a private mount
# namespace (unshare --mount --propagation private) with an empty file bound
# over /dev/ttyS0, beside the emulators and the virtual display it needs.
if [ "${KNS_WINE_GUARDED:-}" != 1 ]; then
  exec "$root/scripts/test-windows.sh" "$win_build" "$root/build" "$0" "$win_build"
fi
if [ -c /dev/ttyS0 ] || [ -z "${DISPLAY:-}" ] || [ -z "${WINEPREFIX:-}" ]; then
  echo "screenshot-windows: /dev/ttyS0 is not covered or no display or wine prefix is set; refusing to start wine" >&2
  exit 125
fi
out="$root/docs/screenshot-windows.png"
title="KARNOL-Simulator Tool v1.200"
wine=/usr/lib/wine/wine64
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$win_build/CMakeCache.txt")
setup="$win_build/KNSimTool-$version-setup.exe"
[ -f "$setup" ] || { echo "screenshot-windows: $setup is missing (make windows-installer)" >&2; exit 1; }

installed="$WINEPREFIX/drive_c/Program Files/KNSimTool"
log="${KNS_WIN_LOG_CLI#Z:}"
log="${log//\\//}"

"$wine" "$setup" /S
[ -f "$installed/knsimtool.exe" ] || { echo "screenshot-windows: the setup program installed nothing" >&2; exit 1; }
# A placement left by an earlier run would move the window.
rm -f "$installed/KNSimTool.ini" "$WINEPREFIX"/drive_c/users/*/AppData/Roaming/KNSimTool/KNSimTool.ini

# The demo set-up goes onto the simulator as a user would put it there.
"$wine" 'C:\Program Files\KNSimTool\knsimtool-cli.exe' --port "$KNS_WIN_PORT_CLI" apply \
  "Z:${root//\//\\}\\tests\\storage\\data\\example.kns" >/dev/null

# At a scale: LogPixels is read by each program as it starts.
shoot() {
  local dpi=$1 out=$2
  "$wine" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
  local start
  start=$(wc -l < "$log")
  "$wine" 'C:\Program Files\KNSimTool\knsimtool.exe' --port "$KNS_WIN_PORT_CLI" >"$win_build/wine-run/screenshot.out" 2>&1 &
  local tool=$! window=""
  for _ in $(seq 300); do
    window=$(xdotool search --name "^$title\$" 2>/dev/null | head -n 1 || true)
    [ -n "$window" ] && break
    sleep 0.1
  done
  [ -n "$window" ] || { echo "screenshot-windows: the window did not appear" >&2; cat "$win_build/wine-run/screenshot.out" >&2; exit 1; }
  # Found, configuration read, and polling: two status reads after remote mode.
  for _ in $(seq 300); do
    [ "$(tail -n +$((start + 1)) "$log" | sed -n '/^!K1$/,$p' | grep -c '^!S$')" -ge 2 ] && break
    sleep 0.1
  done
  sleep 1   # the last paint after the status read
  mkdir -p "$(dirname "$out")"
  import -window "$window" "$out"
  "$wine" taskkill /IM knsimtool.exe >/dev/null 2>&1 || true
  wait "$tool" || true
  echo "screenshot-windows: wrote $out"
}
shoot 96 "$out"
shoot 144 "${out%.png}-150.png"
"$wine" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 96 /f >/dev/null 2>&1

"$wine" "$installed/uninstall.exe" /S || true
