#!/usr/bin/env bash
# Runs a Windows program under wine: the test programs (CMake's emulator for
# them) and knsimtool-cli.exe. Wine maps COM1 to /dev/ttyS0 whenever its
# server starts, and on our machines that is the console: wine only ever runs
# in a private mount namespace (unshare) with an empty file bound over
# /dev/ttyS0. scripts/test-windows.sh sets that namespace up for a whole test
# run; called on its own, this script makes one for the program it runs.
set -eu
if [ -c /dev/ttyS0 ]; then
  if [ "${KNS_WINE_GUARDED:-}" = 1 ]; then
    echo "wine-run.sh: /dev/ttyS0 is still a device; refusing to start wine" >&2
    exit 125
  fi
  cover=$(mktemp "${TMPDIR:-/tmp}/kns-ttyS0-cover.XXXXXX")
  # The cover is a plain empty file; it is bound before the namespace's
  # program starts, so removing it afterwards does not uncover anything.
  exec unshare --mount --propagation private sh -c '
    mount --bind "$0" /dev/ttyS0 || exit 125
    rm -f "$0"
    exec "$@"' "$cover" env KNS_WINE_GUARDED=1 "$0" "$@"
fi
if [ -z "${WINEPREFIX:-}" ]; then
  echo "wine-run.sh: WINEPREFIX is not set; run through scripts/test-windows.sh" >&2
  exit 125
fi
export WINEDEBUG="${WINEDEBUG:--all}"
exec /usr/lib/wine/wine64 "$@"
