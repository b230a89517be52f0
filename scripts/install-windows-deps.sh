#!/usr/bin/env bash
# Installs what the Windows build and its tests under wine need (the list is
# in install-deps.sh). Nothing here starts wine: it runs only through
# scripts/test-windows.sh or scripts/wine-run.sh, in a private mount
# namespace (unshare) in which /dev/ttyS0, this machine's console, is covered.
exec "$(dirname "$0")/install-deps.sh" --windows
