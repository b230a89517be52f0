#!/usr/bin/env bash
# Checks the Debian package made by `make package`: lintian must report no
# error (its warnings are printed), the menu entry must be valid.
set -eu
build=${1:-build}
deb=$(ls "$build"/knsimtool_*_amd64.deb 2>/dev/null | head -n 1)
if [ -z "$deb" ]; then
  echo "No package in $build: run 'make package' first." >&2
  exit 1
fi
here=$(cd "$(dirname "$0")/.." && pwd)
desktop-file-validate "$here/packaging/knsimtool.desktop"
echo "desktop-file-validate: ok"
# lintian refuses to run as root unless told that this is meant.
out=$(mktemp)
trap 'rm -f "$out"' EXIT
status=0
lintian --allow-root --tag-display-limit 0 "$deb" >"$out" 2>&1 || status=$?
cat "$out"
if grep -q '^E: ' "$out"; then
  echo "lintian reports errors" >&2
  exit 1
fi
# lintian exits 1 for errors only (checked above); anything above that is a
# failure of lintian itself.
if [ "$status" -gt 1 ]; then
  echo "lintian failed ($status)" >&2
  exit 1
fi
echo "lintian: no errors ($(grep -c '^W: ' "$out" || true) warnings)"
