#!/usr/bin/env bash
# Installs what the Windows build and its tests under wine need: the MinGW-w64
# cross compiler (the posix-threads flavour, for std::thread), wine, and the
# GoogleTest sources, which are compiled with the cross compiler. Nothing here
# starts wine: it runs only through scripts/test-windows.sh or
# scripts/wine-run.sh, in a private mount namespace (unshare) in which
# /dev/ttyS0, this machine's console, is covered.
# As root it runs apt-get itself; otherwise it prints the line to run.
set -eu

packages=(
  g++-mingw-w64-x86-64-posix
  wine wine64
  googletest
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "Missing packages: ${missing[*]}" >&2
  echo "Run as root: apt-get update && apt-get install -y ${missing[*]}" >&2
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive
apt-get update
apt-get install -y --no-install-recommends "${missing[@]}"
