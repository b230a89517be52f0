# Part of scripts/test-windows-install.sh, read by it at its end with its
# helpers and folders: the branches that a user without administrator
# rights meets, run with the test build of the setup program (never
# shipped), whose command-line stand-ins play the missing rights, Windows'
# elevation prompt granted or declined, and the buttons clicked
# (packaging/windows/TestRights.nsh). Wine itself runs everything with
# administrator rights. Like the rest of test-windows-install.sh, it runs
# only inside the private mount namespace that scripts/test-windows.sh makes
# with unshare, where /dev/ttyS0 (this machine's console) is covered, so the
# setup programs started here can never reach it.

test_dir="$win_build/packaging/windows/test"
test_setup="$test_dir/KNSimTool-$version-setup-test.exe"
test_next="$test_dir/KNSimTool-$next_version-setup-test.exe"
check "the test builds of the setup program are there" test -f "$test_setup" -a -f "$test_next"
# The marker of the test build, as its version resource holds it (UTF-16).
carries_marker() {
  python3 -c 'import sys; sys.exit(0 if "KNSimTool test build".encode("utf-16-le") in open(sys.argv[1], "rb").read() else 1)' "$1"
}
check "the test build carries its marker" carries_marker "$test_setup"
lacks_marker() { ! carries_marker "$1"; }
check "the shipped setup program does not" lacks_marker "$setup"

# A Unix process status holds 8 bits: wine hands on the low byte of
# Windows' 740 ("the requested operation requires elevation").
elevation_required=$((740 % 256))
version_in() { local key=$1; reg_value DisplayVersion; }
present_in() { "$wine" reg query "$1" > /dev/null 2>&1; }
user_key_gone() { ! present_in "$hkcu_key"; }
user_files_absent() { test ! -e "$user_dir" && ! present_in "$hkcu_key"; }
user_copy_installed() {
  local key=$hkcu_key
  test -f "$user_dir/knsimtool.exe" -a -f "$user_dir/uninstall.exe" -a -f "$user_start_menu/KNSimTool.lnk" &&
    test "$(reg_value DisplayVersion)" = "$1" -a "$(reg_value InstallLocation)" = "$user_dir_win"
}
remove_user_copy() {
  "$wine" "$user_dir_win\\uninstall.exe" /S
  wait_until 120 user_key_gone
  rm -rf "$user_dir"
}
# Runs a setup program and tells its exit status (what it prints goes to a log).
run_setup() {
  "$wine" "$@" >> "$win_build/wine-run/setup-rights.out" 2>&1
  echo $?
}

status=$(run_setup "$test_setup" /S "/?")
check "setup.exe /? ends with 0 and installs nothing (status $status)" \
  test "$status" -eq 0 -a ! -e "$install_dir" -a ! -e "$user_dir"

echo "Without administrator rights, nothing installed, no scope asked (silent)"
status=$(run_setup "$test_setup" /S /TestRights=user)
check "the setup program ends with success (status $status)" test "$status" -eq 0
check "it installed just for the user" user_copy_installed "$version"
check "nothing for everyone: no HKLM entry, nothing in Program Files" \
  test ! -e "$install_dir" -a "$(entries HKLM)" -eq 0
remove_user_copy

echo "Without administrator rights, /AllUsers (silent)"
status=$(run_setup "$test_setup" /S /AllUsers /TestRights=user)
check "the setup program ends with 740 (status $status)" test "$status" -eq "$elevation_required"
check "it changed nothing" test ! -e "$install_dir" -a "$(entries HKLM)" -eq 0 -a ! -e "$user_dir"

echo "Installing $version for everyone, with administrator rights"
status=$(run_setup "$test_setup" /S /AllUsers)
check "the setup program ends with success (status $status)" test "$status" -eq 0
check "one HKLM entry for $version" test "$(version_in "$hklm_key")" = "$version"
everyone_before=$(folder_state "$install_dir")
everyone_unchanged() {
  test "$(folder_state "$install_dir")" = "$everyone_before" -a "$(version_in "$hklm_key")" = "$version" \
    -a -e "$shortcut"
}

echo "Without administrator rights over it: the next version, no scope asked (silent)"
status=$(run_setup "$test_next" /S /TestRights=user)
check "refused with status 2 (status $status)" test "$status" -eq 2
check "the installation for everyone is unchanged" everyone_unchanged
check "nothing for the user" user_files_absent

echo "Without administrator rights over it: the same version, /CurrentUser (silent)"
status=$(run_setup "$test_setup" /S /CurrentUser /TestRights=user)
check "refused with status 2: it is there for everyone already (status $status)" test "$status" -eq 2
check "nothing for the user" user_files_absent

echo "Without administrator rights over it: the next version, /AllUsers (silent)"
status=$(run_setup "$test_next" /S /AllUsers /TestRights=user)
check "the setup program ends with 740 (status $status)" test "$status" -eq "$elevation_required"
check "the installation for everyone is unchanged" everyone_unchanged

echo "Without administrator rights over it: the next version, /CurrentUser (silent)"
status=$(run_setup "$test_next" /S /CurrentUser /TestRights=user)
check "the setup program ends with success (status $status)" test "$status" -eq 0
check "a copy just for the user, with its own Start-menu entries and HKCU entry" user_copy_installed "$next_version"
check "the installation for everyone is unchanged" everyone_unchanged
remove_user_copy
check "removing the user's copy leaves the installation for everyone" everyone_unchanged

# The questions of an interactive run, answered by the stand-ins.
echo "Asked over it without administrator rights: Cancel"
status=$(run_setup "$test_next" /S /TestRights=user /TestAnswer1=cancel)
check "cancelled with status 1 (status $status)" test "$status" -eq 1
check "the installation for everyone is unchanged" everyone_unchanged
check "nothing for the user" user_files_absent

echo "Asked: a copy just for me"
status=$(run_setup "$test_next" /S /TestRights=user /TestAnswer1=no)
check "the setup program ends with success (status $status)" test "$status" -eq 0
check "a copy just for the user" user_copy_installed "$next_version"
check "the installation for everyone is unchanged" everyone_unchanged
remove_user_copy

echo "Asked: update it for everyone; the elevation is declined, then Cancel"
status=$(run_setup "$test_next" /S /TestRights=user /TestAnswer1=yes /TestElevation=declined /TestAnswer2=cancel)
check "cancelled with status 1 (status $status)" test "$status" -eq 1
check "the installation for everyone is unchanged" everyone_unchanged
check "nothing for the user" user_files_absent

echo "Asked: update it for everyone; the elevation is declined, then a copy just for me"
status=$(run_setup "$test_next" /S /TestRights=user /TestAnswer1=yes /TestElevation=declined /TestAnswer2=ok)
check "the setup program ends with success (status $status)" test "$status" -eq 0
check "a copy just for the user" user_copy_installed "$next_version"
check "the installation for everyone is unchanged" everyone_unchanged
remove_user_copy

echo "Removing the installation for everyone without administrator rights (silent)"
"$wine" "$program_files_win\\uninstall.exe" /S /TestRights=user "_?=$short_dir"
status=$?
check "the uninstaller ends with 740 (status $status)" test "$status" -eq "$elevation_required"
check "it removed nothing" everyone_unchanged

echo "Asked: update it for everyone; the elevation is granted"
status=$(run_setup "$test_next" /S /TestRights=user /TestAnswer1=yes /TestElevation=granted)
check "this setup program hands over and ends with success (status $status)" test "$status" -eq 0
updated() { local key=$hklm_key; test "$(reg_value DisplayVersion)" = "$next_version" -a -n "$(reg_value EstimatedSize)"; }
check "the one started with administrator rights updates it for everyone to $next_version" wait_until 120 updated
check "still one entry for everyone, none for the user" test "$(entries HKLM)" -eq 1 -a "$(entries HKCU)" -eq 0
check "nothing for the user" user_files_absent

"$wine" "$program_files_win\\uninstall.exe" /S
key=$hklm_key
check "the installation for everyone is removed again" wait_until 120 key_absent
rm -rf "$install_dir"
