#!/usr/bin/env bash
# Checks the Debian package made by `make package`: lintian must report no
# error (its warnings are printed), and its menu entries (the window's and
# the bench's) must be there and valid.
set -eu
build=${1:-build}
deb=$(ls "$build"/knsimtool_*_amd64.deb 2>/dev/null | head -n 1)
if [ -z "$deb" ]; then
  echo "No package in $build: run 'make package' first." >&2
  exit 1
fi
out=$(mktemp)
unpacked=$(mktemp -d)
trap 'rm -rf "$out" "$unpacked"' EXIT
# The menu entries as the package carries them: the window's and the
# bench's, each valid and each starting a program the package holds.
dpkg-deb -x "$deb" "$unpacked"
applications="$unpacked/usr/share/applications"
for entry in "knsimtool.desktop:knsimtool" "knsimtool-bench.desktop:knsimtool --bench"; do
  file=$applications/${entry%%:*}
  exec_line=${entry#*:}
  [ -f "$file" ] || { echo "the package has no menu entry ${entry%%:*}" >&2; exit 1; }
  desktop-file-validate "$file"
  if ! grep -qx "Exec=$exec_line" "$file"; then
    echo "${entry%%:*} does not start '$exec_line'" >&2
    exit 1
  fi
  [ -x "$unpacked/usr/bin/${exec_line%% *}" ] || { echo "${entry%%:*}: no /usr/bin/${exec_line%% *} in the package" >&2; exit 1; }
done
echo "desktop-file-validate: ok ($(ls "$applications" | tr '\n' ' '))"
# lintian refuses to run as root unless told that this is meant.
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
