#!/usr/bin/env bash
# The Windows setup program under wine, as a user meets it, in both scopes.
# For every user: a silent install (files, Start-menu entries for the
# program, its bench and its help, one Programs and Features entry under
# HKLM and none under HKCU), the installed window run from a read-only
# Program Files (its settings must go to %APPDATA%), an upgrade by the next
# version's setup program (refused while the window runs, then in place, and
# once more with the same version, which keeps the scope whatever the
# command line asks), this version's setup program refused over the next one
# (no silent downgrade), and a silent uninstall that takes away what it put
# there and nothing of the user's. For the current user (/CurrentUser): the
# same files under %LOCALAPPDATA%\Programs\KNSimTool, the user's own Start
# menu, the entry under HKCU and none under HKLM, the window's settings
# beside it, the upgrade in the same scope, and the uninstall that leaves
# the settings. Then, with the setup program's test build, every branch a
# user without administrator rights meets (scripts/test-windows-install-rights.sh).
#
#   scripts/test-windows.sh build-windows build scripts/test-windows-install.sh build-windows
#
# It runs only inside the environment test-windows.sh prepares (a private
# mount namespace with /dev/ttyS0 covered, the wine prefix, the emulators
# behind the COM ports, a virtual display); make test-windows-install does
# all of that. Prints a PASS or FAIL line per check and ends non-zero when
# one failed.
set -uo pipefail

if [ $# -ne 1 ]; then
  echo "Usage: $0 BUILD_WINDOWS" >&2
  exit 2
fi
# Wine maps COM1 to /dev/ttyS0, this machine's console. Started on its own,
# the script goes through test-windows.sh, which runs it in a private mount
# namespace (unshare --mount --propagation private) with an empty file bound
# over /dev/ttyS0, beside the emulators and the display it needs.
if [ "${KNS_WINE_GUARDED:-}" != 1 ]; then
  root=$(cd "$(dirname "$0")/.." && pwd)
  exec "$root/scripts/test-windows.sh" "$1" "$root/build" "$0" "$1"
fi
if [ -c /dev/ttyS0 ] || [ -z "${WINEPREFIX:-}" ]; then
  echo "test-windows-install.sh: /dev/ttyS0 is not covered or no wine prefix is set; refusing to start wine" >&2
  exit 125
fi
win_build=$(cd "$1" && pwd)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$win_build/CMakeCache.txt")
setup="$win_build/KNSimTool-$version-setup.exe"
[ -f "$setup" ] || { echo "test-windows-install.sh: $setup is missing (make windows-installer)" >&2; exit 1; }

wine=/usr/lib/wine/wine64
# A shortcut in the Start menu would make wine write a menu entry into this
# machine's own desktop menus.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}winemenubuilder.exe=d"
uninstall_path='Software\Microsoft\Windows\CurrentVersion\Uninstall'
hklm_key="HKLM\\$uninstall_path\\KNSimTool"
hkcu_key="HKCU\\$uninstall_path\\KNSimTool"
# The scope under test: its entry, and the other scope's, which must not be there.
key=$hklm_key
other_key=$hkcu_key
program_files=(knsimtool.exe knsimtool-cli.exe README.html COPYRIGHT.txt)
installed=("${program_files[@]}" uninstall.exe)

failures=0
pass() { echo "PASS: $*"; }
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
check() {
  local what=$1
  shift
  if "$@"; then pass "$what"; else fail "$what"; fi
}
# Waits for what a check can observe; the limit only ends a wait that would
# never end.
wait_until() {
  local limit=$((SECONDS + $1))
  shift
  until "$@"; do
    [ "$SECONDS" -lt "$limit" ] || return 1
    sleep 0.2
  done
}
# Wine's own answers for where things go, so that the checks follow the prefix.
win_var() { "$wine" cmd /c echo "%$1%" 2>/dev/null | tr -d '\r'; }
unix_path() { "$wine" winepath -u "$1" 2>/dev/null | tr -d '\r'; }
reg_value() {
  "$wine" reg query "$key" /v "$1" 2>/dev/null | tr -d '\r' |
    sed -n "s/^ *$1 \{1,\}REG_[A-Z_]\{1,\} \{1,\}//p"
}
key_present() { "$wine" reg query "$key" > /dev/null 2>&1; }
key_absent() { ! key_present; }
other_key_absent() { ! "$wine" reg query "$other_key" > /dev/null 2>&1; }
# Uninstall entries named KNSimTool in one hive (HKLM or HKCU).
entries() {
  "$wine" reg query "$1\\$uninstall_path" /s 2>/dev/null | tr -d '\r' |
    grep -c '^ *DisplayName \{1,\}REG_SZ \{1,\}KNSimTool$'
}
# Whether shortcut $1 starts a file whose path ends in $2 (case aside), with
# the arguments $3. A .lnk file (the Shell Link format) holds the target's
# local path in its LinkInfo block (ANSI) and the arguments among the strings
# after it (UTF-16 when its IsUnicode flag is set).
shortcut_starts() {
  python3 - "$@" <<'PY'
import struct, sys
path, ending, arguments = sys.argv[1:4]
try:
    data = open(path, "rb").read()
except OSError:
    sys.exit(1)
flags = struct.unpack_from("<I", data, 0x14)[0]
at = 0x4C
if flags & 0x01:  # HasLinkTargetIDList
    at += 2 + struct.unpack_from("<H", data, at)[0]
target = ""
if flags & 0x02:  # HasLinkInfo
    size, _, info_flags, _, base = struct.unpack_from("<IIIII", data, at)
    if info_flags & 0x01:  # VolumeIDAndLocalBasePath
        target = data[at + base:data.index(b"\0", at + base)].decode("latin-1")
    at += size
width, encoding = (2, "utf-16-le") if flags & 0x80 else (1, "latin-1")
strings = {}
for bit in (0x04, 0x08, 0x10, 0x20, 0x40):  # name, relative path, folder, arguments, icon
    if flags & bit:
        count = struct.unpack_from("<H", data, at)[0]
        # Wine counts the terminating NUL in, which Windows leaves out.
        strings[bit] = data[at + 2:at + 2 + count * width].decode(encoding).rstrip("\0")
        at += 2 + count * width
sys.exit(0 if target.lower().endswith(ending.lower()) and strings.get(0x20, "") == arguments else 1)
PY
}
# What lies in a folder, with each file's checksum: "changed nothing".
folder_state() { (cd "$1" 2>/dev/null && find . -type f -exec md5sum {} + | sort); }

program_files_win="$(win_var ProgramFiles)\\KNSimTool"
install_dir=$(unix_path "$program_files_win")
start_menu=$(unix_path "$(win_var ProgramData)\\Microsoft\\Windows\\Start Menu\\Programs")
shortcut="$start_menu/KNSimTool.lnk"
help_shortcut="$start_menu/KNSimTool help.lnk"
bench_shortcut="$start_menu/KNSimTool bench.lnk"
settings="$(unix_path "$(win_var APPDATA)")/KNSimTool/KNSimTool.ini"
user_dir_win="$(win_var LOCALAPPDATA)\\Programs\\KNSimTool"
user_dir=$(unix_path "$user_dir_win")
user_start_menu=$(unix_path "$(win_var APPDATA)\\Microsoft\\Windows\\Start Menu\\Programs")
if [ -z "$install_dir" ] || [ -z "$start_menu" ] || [ "$settings" = /KNSimTool/KNSimTool.ini ] ||
  [ -z "$user_dir" ] || [ -z "$user_start_menu" ]; then
  echo "test-windows-install.sh: wine did not name its folders" >&2
  exit 1
fi

window_pid=
mounted=
cleanup() {
  [ -z "$window_pid" ] || kill "$window_pid" 2>/dev/null
  [ -z "$mounted" ] || umount "$install_dir"
}
trap cleanup EXIT

# What an earlier, failed run may have left in the prefix, in both scopes.
for k in "$hklm_key" "$hkcu_key"; do "$wine" reg delete "$k" /f > /dev/null 2>&1; done
rm -rf "$install_dir" "$user_dir"
rm -f "$shortcut" "$help_shortcut" "$bench_shortcut" "$settings"
rm -f "$user_start_menu/KNSimTool.lnk" "$user_start_menu/KNSimTool help.lnk" "$user_start_menu/KNSimTool bench.lnk"

echo "Installing $(basename "$setup") ($(stat -c %s "$setup") bytes) silently"
"$wine" "$setup" /S
check "the setup program ends with success" test $? -eq 0
for file in "${installed[@]}"; do
  check "installed: $program_files_win\\$file" test -f "$install_dir/$file"
done
check "the Start-menu entry for all users points at knsimtool.exe" \
  grep -aqi 'KNSimTool\\knsimtool\.exe' "$shortcut"
check "the Start-menu entry \"KNSimTool bench\" starts knsimtool.exe --bench" \
  shortcut_starts "$bench_shortcut" 'KNSimTool\knsimtool.exe' --bench
check "the help page is the README" grep -q '<h2>Troubleshooting</h2>' "$install_dir/README.html"
check "the Start-menu entry \"KNSimTool help\" points at README.html" \
  grep -aqi 'KNSimTool\\README\.html' "$help_shortcut"
check "one Programs and Features entry under HKLM ($(entries HKLM))" test "$(entries HKLM)" -eq 1
check "none under HKCU" other_key_absent
check "Programs and Features: DisplayName" test "$(reg_value DisplayName)" = KNSimTool
check "Programs and Features: DisplayVersion $version" test "$(reg_value DisplayVersion)" = "$version"
check "Programs and Features: Publisher" test -n "$(reg_value Publisher)"
check "Programs and Features: DisplayIcon" test "$(reg_value DisplayIcon)" = "$program_files_win\\knsimtool.exe,0"
uninstaller="\"$program_files_win\\uninstall.exe\""
check "Programs and Features: UninstallString" test "$(reg_value UninstallString)" = "$uninstaller"
check "Programs and Features: QuietUninstallString" test "$(reg_value QuietUninstallString)" = "$uninstaller /S"
check "Programs and Features: NoModify and NoRepair" \
  test "$(reg_value NoModify)/$(reg_value NoRepair)" = 0x1/0x1
# In KB, and about what the program's files take.
estimated=$(($(reg_value EstimatedSize)))
bytes=$(cat "${program_files[@]/#/$install_dir/}" 2>/dev/null | wc -c)
check "Programs and Features: EstimatedSize ($estimated KB for $bytes bytes)" \
  test $((estimated * 1024 * 10)) -ge $((bytes * 9)) -a $((estimated * 1024 * 10)) -le $((bytes * 11))

# Program Files as a normal user meets it: not writable.
mount --bind "$install_dir" "$install_dir" && mounted=1 &&
  mount -o remount,bind,ro "$install_dir"
folder_read_only() { ! touch "$install_dir/probe" 2>/dev/null; }
check "the install folder is read-only for the run" folder_read_only

emulator_log=${KNS_WIN_LOG_CLI#Z:}
emulator_log=${emulator_log//\\//}
log_start=$(wc -l < "$emulator_log")
window_visible() { xdotool search --onlyvisible --name KARNOL > /dev/null 2>&1; }
# The status read after the configuration read is the first poll.
polling() { tail -n +$((log_start + 1)) "$emulator_log" | sed -n '/^!C$/,$p' | grep -q '^!S$'; }
window_ended() { ! kill -0 "$window_pid" 2>/dev/null; }
# Whether the command line installed in folder $1 names $2 as its settings file.
cli_names_settings() {
  "$wine" "$1\\knsimtool-cli.exe" --version 2>/dev/null | tr -d '\r' | grep -qixF "settings file: $2"
}
# Without /F taskkill asks the window to close, as its close box does.
close_window() {
  "$wine" taskkill /IM knsimtool.exe > /dev/null 2>&1
  check "the window closes when asked to" wait_until 60 window_ended
  window_ended || kill "$window_pid" 2>/dev/null
  wait "$window_pid" 2>/dev/null
  window_pid=
}

"$wine" "$program_files_win\\knsimtool.exe" --port "$KNS_WIN_PORT_CLI" > "$win_build/wine-run/installed-window.out" 2>&1 &
window_pid=$!
check "the installed window opens (on display ${DISPLAY:-none})" wait_until 120 window_visible
check "the installed window polls the simulator on $KNS_WIN_PORT_CLI" wait_until 60 polling
close_window
check "the settings file is written to %APPDATA%\\KNSimTool\\KNSimTool.ini" test -s "$settings"
check "no settings file beside the installed program" test ! -e "$install_dir/KNSimTool.ini"
check "the installed command line names the same settings file" \
  cli_names_settings "$program_files_win" "$(win_var APPDATA)\\KNSimTool\\KNSimTool.ini"

umount "$install_dir" && mounted=

# The upgrade: the same programs under the next version number
# (make windows-installer-next), over the installed version.
next_setup=$(find "$win_build/packaging/windows/next" -name 'KNSimTool-*-setup.exe' 2>/dev/null | head -n 1)
next_version=$(basename "${next_setup:-none}" | sed -n 's/^KNSimTool-\(.*\)-setup\.exe$/\1/p')
check "the next version's setup program is there ($next_version)" test -n "$next_version" -a "$next_version" != "$version"
# Marks on what the installed version put there, which an upgrade replaces.
echo "left by the earlier version" > "$install_dir/README.html"
echo "left by the earlier version" > "$install_dir/knsimtool-cli.exe"
marked() { grep -q "left by the earlier version" "$install_dir/$1"; }
replaced() { ! marked README.html && ! marked knsimtool-cli.exe; }

"$wine" "$program_files_win\\knsimtool.exe" --port "$KNS_WIN_PORT_CLI" > "$win_build/wine-run/installed-window-2.out" 2>&1 &
window_pid=$!
check "the installed window runs again" wait_until 120 window_visible
echo "Upgrading silently while the window runs"
"$wine" "$next_setup" /S
status=$?
check "the setup program ends with a failure while knsimtool.exe runs (status $status)" test "$status" -ne 0
check "it changed nothing: the files" marked README.html
check "it changed nothing: Programs and Features still says $version" test "$(reg_value DisplayVersion)" = "$version"
echo "Uninstalling silently while the window runs"
# _?= runs the uninstaller in place instead of from a copy, so that its exit
# status comes back; it takes the rest of the command line, so the folder
# goes in by its short name (no space for wine to quote).
short_dir=$("$wine" winepath -s "$program_files_win" 2>/dev/null | tr -d '\r')
"$wine" "$program_files_win\\uninstall.exe" /S "_?=$short_dir"
status=$?
check "the uninstaller ends with a failure while knsimtool.exe runs (status $status)" test "$status" -ne 0
check "it removed nothing: the programs and the uninstaller" test -f "$install_dir/knsimtool-cli.exe" -a -f "$install_dir/uninstall.exe"
check "it removed nothing: the Programs and Features entry" key_present
close_window
# The window ran from a writable folder this time: its settings beside it.
settings_before=$(cat "$settings" "$install_dir/KNSimTool.ini" 2>/dev/null)

echo "Upgrading silently to $next_version"
"$wine" "$next_setup" /S
check "the setup program ends with success" test $? -eq 0
check "the programs are replaced in place" replaced
check "one Programs and Features entry ($(entries HKLM))" test "$(entries HKLM)" -eq 1
check "Programs and Features: DisplayVersion $next_version" test "$(reg_value DisplayVersion)" = "$next_version"
check "the Start-menu entry stays" grep -aqi 'KNSimTool\\knsimtool\.exe' "$shortcut"
check "the user's settings stay" test "$(cat "$settings" "$install_dir/KNSimTool.ini" 2>/dev/null)" = "$settings_before"
installed_cli_works() {
  "$wine" "$program_files_win\\knsimtool-cli.exe" --port "$KNS_WIN_PORT_CLI" info > "$win_build/wine-run/installed-cli.out" 2>&1
}
check "the installed command line works" installed_cli_works

echo "The same version once more, asked for the current user only"
"$wine" "$next_setup" /S /CurrentUser
check "the setup program ends with success" test $? -eq 0
check "still one Programs and Features entry ($(entries HKLM))" test "$(entries HKLM)" -eq 1
check "the installation keeps its scope: none under HKCU" other_key_absent
check "nothing in the current user's folder" test ! -e "$user_dir"

echo "This version over the next one, silently"
before=$(folder_state "$install_dir")
"$wine" "$setup" /S
status=$?
check "the setup program refuses the downgrade with status 2 (status $status)" test "$status" -eq 2
check "it changed nothing: the files" test "$(folder_state "$install_dir")" = "$before"
check "it changed nothing: Programs and Features still says $next_version" test "$(reg_value DisplayVersion)" = "$next_version"

# What a user may keep in the program's folder: a settings file that a run
# as administrator wrote there, and a set-up saved beside it.
user_files=(KNSimTool.ini "Workshop bench.kns")
for file in "${user_files[@]}"; do echo "kept by the user" > "$install_dir/$file"; done

echo "Uninstalling silently, as Programs and Features' QuietUninstallString does"
# The uninstaller copies itself to the temporary folder, starts the copy and
# ends at once (so that it can remove its own file); the copy removes the
# key last, so the wait is for the key.
"$wine" "$program_files_win\\uninstall.exe" /S
check "the uninstaller ends, its Programs and Features entry gone" wait_until 120 key_absent
for file in "${installed[@]}"; do
  check "removed: $program_files_win\\$file" test ! -e "$install_dir/$file"
done
check "the Start-menu entries are removed" test ! -e "$shortcut" -a ! -e "$help_shortcut" -a ! -e "$bench_shortcut"
for file in "${user_files[@]}"; do
  check "the user's $file beside the program stays" test -f "$install_dir/$file"
done
check "nothing else is left in the program's folder" \
  test "$(find "$install_dir" -mindepth 1 2> /dev/null | wc -l)" -eq "${#user_files[@]}"
check "the settings file under %APPDATA% stays" test -s "$settings"
for file in "${user_files[@]}"; do rm -f "$install_dir/$file"; done
rmdir "$install_dir" 2>/dev/null

# For the current user only: what a user without administrator rights gets.
key=$hkcu_key
other_key=$hklm_key
rm -f "$settings"
echo "Installing for the current user silently (/CurrentUser)"
"$wine" "$setup" /S /CurrentUser
check "the setup program ends with success" test $? -eq 0
for file in "${installed[@]}"; do
  check "installed: $user_dir_win\\$file" test -f "$user_dir/$file"
done
check "nothing in Program Files" test ! -e "$install_dir"
check "the Start-menu entry in the user's own Start menu" \
  grep -aqi 'Programs\\KNSimTool\\knsimtool\.exe' "$user_start_menu/KNSimTool.lnk"
check "the help entry in the user's own Start menu" \
  grep -aqi 'Programs\\KNSimTool\\README\.html' "$user_start_menu/KNSimTool help.lnk"
check "the bench entry in the user's own Start menu starts knsimtool.exe --bench" \
  shortcut_starts "$user_start_menu/KNSimTool bench.lnk" 'Programs\KNSimTool\knsimtool.exe' --bench
check "no Start-menu entry for all users" test ! -e "$shortcut" -a ! -e "$help_shortcut" -a ! -e "$bench_shortcut"
check "one Programs and Features entry under HKCU ($(entries HKCU))" test "$(entries HKCU)" -eq 1
check "none under HKLM" other_key_absent
check "HKCU entry: DisplayVersion $version" test "$(reg_value DisplayVersion)" = "$version"
check "HKCU entry: InstallLocation" test "$(reg_value InstallLocation)" = "$user_dir_win"
check "HKCU entry: QuietUninstallString" test "$(reg_value QuietUninstallString)" = "\"$user_dir_win\\uninstall.exe\" /S"
check "the installed command line runs and names the settings file beside it (a folder the user can write)" \
  cli_names_settings "$user_dir_win" "$user_dir_win\\KNSimTool.ini"

log_start=$(wc -l < "$emulator_log")
"$wine" "$user_dir_win\\knsimtool.exe" --port "$KNS_WIN_PORT_CLI" > "$win_build/wine-run/user-window.out" 2>&1 &
window_pid=$!
check "the window installed for the user opens" wait_until 120 window_visible
check "it polls the simulator on $KNS_WIN_PORT_CLI" wait_until 60 polling
close_window
check "its settings file lies beside it" test -s "$user_dir/KNSimTool.ini"
check "none under %APPDATA%" test ! -e "$settings"

echo "Upgrading the current user's installation to $next_version (no scope asked)"
"$wine" "$next_setup" /S
check "the setup program ends with success" test $? -eq 0
check "HKCU entry: DisplayVersion $next_version" test "$(reg_value DisplayVersion)" = "$next_version"
check "still one entry under HKCU ($(entries HKCU)) and none under HKLM" \
  test "$(entries HKCU)" -eq 1 -a "$(entries HKLM)" -eq 0
check "nothing in Program Files" test ! -e "$install_dir"

echo "Uninstalling the current user's installation silently"
"$wine" "$user_dir_win\\uninstall.exe" /S
check "the uninstaller ends, its HKCU entry gone" wait_until 120 key_absent
for file in "${installed[@]}"; do
  check "removed: $user_dir_win\\$file" test ! -e "$user_dir/$file"
done
check "the user's Start-menu entries are removed" \
  test ! -e "$user_start_menu/KNSimTool.lnk" -a ! -e "$user_start_menu/KNSimTool help.lnk" \
    -a ! -e "$user_start_menu/KNSimTool bench.lnk"
check "only the user's settings are left ($(ls "$user_dir" 2>/dev/null | tr '\n' ' '))" \
  test "$(ls -A "$user_dir" 2>/dev/null)" = KNSimTool.ini
rm -rf "$user_dir"

# The branches without administrator rights, with the setup program's test build.
# shellcheck source=scripts/test-windows-install-rights.sh
. "$(dirname "$0")/test-windows-install-rights.sh"

if [ "$failures" -gt 0 ]; then
  echo "test-windows-install: $failures check(s) FAILED"
  exit 1
fi
echo "test-windows-install: all checks passed"
