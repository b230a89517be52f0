#!/usr/bin/env bash
# Runs a Windows program under wine: the test programs (CMake's emulator for
# them) and knsimtool-cli.exe. Only inside the environment that
# scripts/test-windows.sh prepares: wine maps COM1 to /dev/ttyS0 whenever its
# server starts, and on our machines that is the console, so it must be
# covered (a private mount namespace with an empty file bound over it).
set -eu
if [ -c /dev/ttyS0 ]; then
  echo "wine-run.sh: /dev/ttyS0 is a real device here; run through scripts/test-windows.sh" >&2
  exit 125
fi
if [ -z "${WINEPREFIX:-}" ]; then
  echo "wine-run.sh: WINEPREFIX is not set; run through scripts/test-windows.sh" >&2
  exit 125
fi
export WINEDEBUG="${WINEDEBUG:--all}"
exec /usr/lib/wine/wine64 "$@"
