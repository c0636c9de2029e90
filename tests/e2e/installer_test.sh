#!/usr/bin/env bash
# End-to-end test of the setup program under Wine, as a user would meet it:
#  1. builds the setup for this build's architecture from the built executables;
#  2. installs silently and checks the files in Program Files, the marker of an
#     installed copy, the machine's list folder in ProgramData, the machine's
#     Run value, the Add/Remove Programs entry and the Start Menu shortcuts;
#  3. switches a Run value of the user and one of the machine off through the
#     installed vantorellc.exe: the user's list in %LOCALAPPDATA%\Vantorell and
#     the machine's in %ProgramData%\Vantorell each record one;
#  4. installs again while vantorell.exe runs: the running copy is closed and the
#     list beside it is kept; a list of 0.1.0 beside the program moves into the
#     user's and the machine's lists, its "lrun" the 32-bit view's for a 32-bit
#     build, and stays beside the program as a backup;
#  5. uninstalls while the user's own list holds an entry: the uninstaller (run
#     with administrator rights) leaves each user's records to that user, and
#     stops before it changes anything: the machine's Run value stays;
#  6. the user's part, vantorell.exe -u, gives the user's entry back;
#  7. uninstalls with a vantorell.exe whose machine's part (-m) gives nothing
#     back: nothing may go;
#  8. uninstalls while another user's list holds an entry: nothing may go, and
#     the machine's Run value stays;
#  9. uninstalls for real: vantorell.exe -m gives the machine's entry back, then
#     every file, folder, shortcut and key of the program is gone and the Run
#     values are back as they were.
#
# Usage: installer_test.sh VANTORELL_EXE VANTORELLC_EXE VTDRIVER_EXE POINTER_SIZE VERSION OUTPUT_DIR
# Needs WINEPREFIX (a prepared prefix, as scripts/test.sh provides; or source
# scripts/wine-env.sh and call wine_env_start) and skips (exit 77) without one.
# Every wait has a deadline; on failure leftover processes of the test are
# ended by their ids and the installed files and keys are removed.
set -uo pipefail

if [ $# -ne 6 ]; then
  echo "usage: $0 VANTORELL_EXE VANTORELLC_EXE VTDRIVER_EXE POINTER_SIZE VERSION OUTPUT_DIR" >&2
  exit 2
fi
gui_exe=$1 console_exe=$2 driver=$3 pointer_size=$4 version=$5 out=$6
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)

if [ -z "${WINEPREFIX:-}" ] || [ ! -d "$WINEPREFIX" ]; then
  echo "SKIP: no prepared Wine prefix in WINEPREFIX (scripts/test.sh provides one)"
  exit 77
fi
command -v makensis >/dev/null || { echo "SKIP: makensis not found"; exit 77; }
# shellcheck source=../../scripts/wine-env.sh
. "$root/scripts/wine-env.sh"
wine_env_display || exit 1

# ---- where things go: a 32-bit setup on 64-bit Windows lands in the 32-bit views
if [ "$pointer_size" = 8 ]; then
  arch=win64 view=/reg:64 program_files='Program Files'
else
  arch=win32 view=/reg:32 program_files='Program Files (x86)'
fi
win_dir="C:\\$program_files\\Vantorell"
unix_dir="$WINEPREFIX/drive_c/$program_files/Vantorell"
menu_dir="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Vantorell"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Vantorell'
options_key='HKLM\Software\Vantorell'
user_run='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
machine_run='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
sample_name='Vt Sample Tool'
sample_data='"C:\Tools\sample tool.exe" --tray'
machine_name='Vt Machine Tool'
machine_data='C:\Tools\machine.exe /all'
# The machine's places are read in the 64-bit view by both builds.
machine_view=/reg:64
shared_list="$WINEPREFIX/drive_c/ProgramData/Vantorell/StartupList.txt"
profile_list='HKLM\Software\Microsoft\Windows NT\CurrentVersion\ProfileList'
other_sid='S-1-5-21-1-2-3-4242'
other_profile="$WINEPREFIX/drive_c/users/vtother"

scratch=$(mktemp -d "$out/e2e_installer.XXXXXX")
failed=0
app_pid=""

fail() {
  echo "FAIL: $*" >&2
  failed=1
}
step() { echo "-- $*"; }

# Linux ids of this prefix's processes whose Windows command line matches the
# glob $1 (Wine shows a process's Windows command line as its own).
prefix_pids() {
  local p cmd parts
  for p in /proc/[0-9]*; do
    parts=()
    { mapfile -d '' parts <"$p/cmdline"; } 2>/dev/null
    cmd="${parts[*]}"
    # shellcheck disable=SC2053
    [[ "$cmd" == $1 ]] || continue
    { tr '\0' '\n' <"$p/environ"; } 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && echo "${p#/proc/}"
  done
}
# (A "?" stands for each backslash of a Windows path in these globs.)
installed_program_pids() { prefix_pids "*$program_files?Vantorell?*"; }
uninstaller_pids() { prefix_pids '*~nsu*.tmp?Un*.exe*'; }

kill_leftovers() {
  local pid
  for pid in $(uninstaller_pids) $(installed_program_pids); do kill -9 "$pid" 2>/dev/null; done
  if [ -n "$app_pid" ]; then kill "$app_pid" 2>/dev/null; fi
}

reg_value() { # KEY NAME [VIEW]: the data of a value, empty when absent
  wine reg query "$1" /v "$2" ${3:+"$3"} 2>/dev/null | tr -d '\r' |
    awk -v n="$2" '{ line = $0; sub(/^    /, "", line) }
      index(line, n "    ") == 1 { rest = substr(line, length(n) + 5); sub(/^[A-Z_]+    /, "", rest); print rest }'
}
key_exists() { wine reg query "$1" ${2:+"$2"} >/dev/null 2>&1; }

cleanup() {
  kill_leftovers
  wine reg delete "$user_run" /v "$sample_name" /f >/dev/null 2>&1
  wine reg delete "$machine_run" /v "$machine_name" /f $machine_view >/dev/null 2>&1
  wine reg delete "$profile_list\\$other_sid" /f $machine_view >/dev/null 2>&1
  rm -rf "$other_profile"
  if [ "$failed" = 1 ]; then
    # Leave the prefix as the other tests expect it.
    rm -rf "$unix_dir" "$menu_dir"
    wine reg delete "$uninstall_key" /f "$view" >/dev/null 2>&1
    wine reg delete "$options_key" /f /reg:64 >/dev/null 2>&1
    wine reg delete "$machine_run" /v Vantorell /f /reg:64 >/dev/null 2>&1
    wine reg delete "$user_run" /v Vantorell /f >/dev/null 2>&1
    wine reg delete 'HKCU\Software\Vantorell' /f >/dev/null 2>&1
    rm -rf "$WINEPREFIX/drive_c/ProgramData/Vantorell" "${user_data:-/nonexistent}"
  fi
  rm -rf "$scratch"
  if [ -n "${_vt_xvfb_pid:-}" ]; then kill "$_vt_xvfb_pid" 2>/dev/null; fi
}
trap cleanup EXIT

# Runs the setup silently; returns its exit code (124 after the deadline).
run_setup() { timeout -k 2 "$1" wine "$setup" /S; }

# Runs the installed uninstaller silently and waits for its copy in %TEMP%
# to end. vantorell.exe -m gets u_deadline seconds to end by itself; after
# that it is ended and the test fails.
uninstall() {
  local u_deadline=$1 deadline=$((SECONDS + 40)) seen=0 started=$SECONDS pids
  timeout -k 2 20 wine "$win_dir\\Uninstall.exe" /S || { fail "Uninstall.exe /S did not start its copy"; return 1; }
  while :; do
    pids=$(uninstaller_pids)
    if [ -n "$pids" ]; then
      seen=1
    elif [ $seen = 1 ] || [ $((SECONDS - started)) -ge 3 ]; then
      return 0
    fi
    local stuck
    stuck=$(prefix_pids "*$program_files?Vantorell?vantorell.exe -m*")
    if [ -n "$stuck" ] && [ $((SECONDS - started)) -ge "$u_deadline" ]; then
      fail "vantorell.exe -m did not end within $u_deadline s (it must give every entry back and end by itself)"
      kill -9 $stuck 2>/dev/null
    fi
    [ $SECONDS -ge $deadline ] && { fail "the uninstaller did not end in time"; return 1; }
    sleep 0.2
  done
}

expect_list_holds_sample() { # what: the user's list still records the user's entry, the machine's the machine's
  grep -qF "$sample_name;crun;$sample_data;" "$user_list" 2>/dev/null ||
    fail "$1: the user's list no longer records '$sample_name': $(cat "$user_list" 2>&1)"
  expect_machine_list_holds_sample "$1"
}
expect_machine_list_holds_sample() {
  grep -qF "$machine_name;lrun;$machine_data;" "$shared_list" 2>/dev/null ||
    fail "$1: the machine's list no longer records '$machine_name': $(cat "$shared_list" 2>&1)"
}
expect_kept() { # what: a stopped uninstall changed nothing of the program's
  [ -f "$unix_dir/vantorellc.exe" ] && [ -f "$unix_dir/Uninstall.exe" ] || fail "$1: files went"
  key_exists "$uninstall_key" "$view" || fail "$1: the Add/Remove Programs entry went"
  [ -f "$menu_dir/Vantorell.lnk" ] || fail "$1: the Start Menu shortcut went"
  [ -n "$(reg_value "$machine_run" Vantorell /reg:64)" ] ||
    fail "$1: the machine's Run value 'Vantorell' went, so the users' deferred programs would no longer start"
}

# The user's folder of an installed copy: %LOCALAPPDATA%\Vantorell.
local_app_data=$(wine cmd /c echo %LOCALAPPDATA% 2>/dev/null | tr -d '\r')
user_data="$(winepath -u "$local_app_data" 2>/dev/null)/Vantorell"
user_list="$user_data/StartupList.txt"
[ -n "$local_app_data" ] || { echo "FAIL: no LOCALAPPDATA in this prefix" >&2; exit 1; }

# ---- 1. the setup
if key_exists "$uninstall_key" "$view" || [ -e "$unix_dir" ]; then
  echo "FAIL: Vantorell is already installed in this prefix" >&2
  exit 1
fi
step "building the $arch setup"
setup=$("$root/installer/make-installer.sh" "$arch" "$version" "$gui_exe" "$console_exe" "$scratch") ||
  { fail "makensis failed"; exit 1; }

# ---- 2. install
step "silent install"
run_setup 30 || { fail "setup /S ended with $?"; exit 1; }
for f in vantorell.exe vantorellc.exe VantorellHelp.html Uninstall.exe LICENSE.txt THIRD-PARTY-NOTICES.txt \
  policy.schema.json vantorell.dsc.resource.json; do
  [ -f "$unix_dir/$f" ] || fail "not installed: $win_dir\\$f"
done
for f in "$root"/docs/help/*.png; do
  cmp -s "$f" "$unix_dir/help/$(basename "$f")" || fail "help picture not installed: help\\$(basename "$f")"
done
grep -q 'GNU GENERAL PUBLIC LICENSE' "$unix_dir/LICENSE.txt" 2>/dev/null || fail "LICENSE.txt is not the GPL"
cmp -s "$gui_exe" "$unix_dir/vantorell.exe" || fail "the installed vantorell.exe is not the built one"
cmp -s "$console_exe" "$unix_dir/vantorellc.exe" || fail "the installed vantorellc.exe is not the built one"
cmp -s "$root/docs/VantorellHelp.html" "$unix_dir/VantorellHelp.html" || fail "the installed help page differs"

total_bytes=$(find "$unix_dir" -type f -exec cat {} + | wc -c)
expected_kb=$((total_bytes / 1024))
while IFS='|' read -r name expected; do
  actual=$(reg_value "$uninstall_key" "$name" "$view")
  [ "$actual" = "$expected" ] || fail "Uninstall key, $name: '$actual', expected '$expected'"
done <<EOF
DisplayName|Vantorell
DisplayVersion|$version
Publisher|Vantorell
DisplayIcon|$win_dir\\vantorell.exe,0
UninstallString|"$win_dir\\Uninstall.exe"
QuietUninstallString|"$win_dir\\Uninstall.exe" /S
InstallLocation|$win_dir
NoModify|0x1
NoRepair|0x1
EOF
size=$(reg_value "$uninstall_key" EstimatedSize "$view")
if [ -z "$size" ] || [ $((size)) -lt $((expected_kb - 1)) ] || [ $((size)) -gt $((expected_kb + 1)) ]; then
  fail "Uninstall key, EstimatedSize: '$size', expected about $expected_kb KB"
fi

[ -f "$unix_dir/Vantorell.installed" ] || fail "no marker of an installed copy beside vantorell.exe"
[ -d "$(dirname "$shared_list")" ] || fail "the setup did not create the machine's list folder in ProgramData"
actual=$(reg_value "$machine_run" Vantorell $machine_view)
[ "$actual" = "\"$win_dir\\vantorell.exe\" -b" ] || fail "the machine's Run value (64-bit view): '$actual'"

for link in "Vantorell.lnk|$win_dir\\vantorell.exe" "Uninstall Vantorell.lnk|$win_dir\\Uninstall.exe"; do
  file=${link%%|*} target=${link#*|}
  grep -aqF "$target" "$menu_dir/$file" 2>/dev/null || fail "Start Menu shortcut '$file' to $target missing"
done

# ---- 3. entries switched off through the installed console program
step "disabling '$sample_name' and '$machine_name' with vantorellc"
wine reg add "$user_run" /v "$sample_name" /d "$sample_data" /f >/dev/null &&
  wine reg add "$machine_run" /v "$machine_name" /d "$machine_data" /f $machine_view >/dev/null || { fail "reg add"; exit 1; }
for name in "$sample_name" "$machine_name"; do
  timeout -k 2 20 wine "$win_dir\\vantorellc.exe" disable "$name" >/dev/null || fail "vantorellc disable '$name' failed"
done
[ -z "$(reg_value "$user_run" "$sample_name")" ] || fail "'$sample_name' is still in the user's Run key"
[ -z "$(reg_value "$machine_run" "$machine_name" $machine_view)" ] || fail "'$machine_name' is still in the machine's Run key"
expect_list_holds_sample "after disable"
[ -e "$unix_dir/StartupList.txt" ] && fail "an installed copy wrote a list beside its exe"
[ "$failed" = 0 ] || exit 1

# ---- 4. upgrade while the program runs
step "installing again while vantorell.exe runs"
(cd "$scratch" && exec wine "$win_dir\\vantorell.exe" >/dev/null 2>&1) &
app_pid=$!
if wine "$driver" wait-window Vantorell 20 >/dev/null 2>&1; then
  # An installed 0.1.0 kept its list beside the program (planted now: the
  # running copy would move it itself at its start). A 32-bit 0.1.0 meant the
  # 32-bit view by "lrun".
  printf '%s\r\n' "Vt Old Tool;crun;C:\\Tools\\old.exe;;1;0" "Vt Old Machine;lrun;C:\\Tools\\oldm.exe;;0;30" \
    >"$unix_dir/StartupList.txt"
  cp "$unix_dir/StartupList.txt" "$scratch/old-list.txt"
  run_setup 40 || fail "setup /S over a running copy ended with $?"
  deadline=$((SECONDS + 10))
  while kill -0 "$app_pid" 2>/dev/null && [ $SECONDS -lt $deadline ]; do sleep 0.1; done
  kill -0 "$app_pid" 2>/dev/null && fail "the running vantorell.exe was not closed by the setup"
  [ -z "$(installed_program_pids)" ] || fail "a program of the install folder still runs"
else
  fail "the installed vantorell.exe showed no window"
fi
kill "$app_pid" 2>/dev/null
app_pid=""
expect_list_holds_sample "after the upgrade"
old_code=lrun
[ "$pointer_size" = 4 ] && old_code=lrun32
listed=$(timeout -k 2 20 wine "$win_dir\\vantorellc.exe" list 2>&1 | tr -d '\r')
for row in "Vt Old Tool|crun" "Vt Old Machine|$old_code"; do
  name=${row%%|*} code=${row#*|}
  grep -F "$name" <<<"$listed" | grep -qw "$code" || fail "after the upgrade, vantorellc list lacks '$name' in $code: $listed"
done
[ -e "$unix_dir/StartupList.txt" ] && fail "the earlier version's list is still beside the program"
cmp -s "$scratch/old-list.txt" "$unix_dir/StartupList.txt.0.1.0.bak" || fail "no whole backup of the earlier version's list"
grep -q "^Vt Old Machine;$old_code;" "$shared_list" || fail "the machine's list lacks the earlier version's record"
for row in "Vt Old Tool|crun" "Vt Old Machine|$old_code"; do
  timeout -k 2 20 wine "$win_dir\\vantorellc.exe" delete "${row%%|*}" --location "${row#*|}" >/dev/null 2>&1 ||
    fail "vantorellc delete '${row%%|*}' failed"
done
cmp -s "$gui_exe" "$unix_dir/vantorell.exe" || fail "vantorell.exe missing after the upgrade"

# ---- 5. the user's own list holds an entry: the uninstaller stops before any change
step "uninstalling while the user's own list holds an entry"
uninstall 10
expect_list_holds_sample "after an uninstall stopped for the user's list"
expect_kept "after an uninstall stopped for the user's list"

# ---- 6. the user's part, with the user's own rights
step "giving back the user's entries with vantorell.exe -u"
timeout -k 2 30 wine "$win_dir\\vantorell.exe" -u >/dev/null 2>&1 || fail "vantorell.exe -u ended with $?"
actual=$(reg_value "$user_run" "$sample_name")
[ "$actual" = "$sample_data" ] || fail "-u did not give '$sample_name' back: '$actual'"
grep -qF "$sample_name" "$user_list" 2>/dev/null && fail "the user's list still records '$sample_name'"
expect_machine_list_holds_sample "after the user's part"
[ -n "$(reg_value "$machine_run" Vantorell /reg:64)" ] || fail "the user's part removed the machine's Run value"

# ---- 7. an uninstall whose vantorell.exe -m gives nothing back must remove nothing
step "uninstalling with a vantorell.exe that gives nothing back"
cp "$console_exe" "$unix_dir/vantorell.exe" # "vantorellc -m" is no command: it ends at once
uninstall 10
expect_machine_list_holds_sample "after a failed uninstall"
expect_kept "after a failed uninstall"
cp "$gui_exe" "$unix_dir/vantorell.exe"

# ---- 8. another user's list holds an entry: nothing may go
step "uninstalling while another user's list holds an entry"
mkdir -p "$other_profile/AppData/Local/Vantorell" &&
  printf 'Theirs;crun;C:\\theirs.exe;;0;0\r\n' >"$other_profile/AppData/Local/Vantorell/StartupList.txt" &&
  wine reg add "$profile_list\\$other_sid" /v ProfileImagePath /t REG_EXPAND_SZ /d 'C:\users\vtother' /f $machine_view \
    >/dev/null || { fail "cannot make another user's profile"; exit 1; }
uninstall 20
[ -f "$unix_dir/vantorell.exe" ] || fail "vantorell.exe went while another user's list holds entries"
expect_machine_list_holds_sample "after an uninstall stopped for another user's list"
expect_kept "after an uninstall stopped for another user's list"
wine reg delete "$profile_list\\$other_sid" /f $machine_view >/dev/null 2>&1
rm -rf "$other_profile"

# ---- 9. the real uninstall
step "uninstalling"
uninstall 20
if [ -e "$unix_dir" ]; then
  fail "left in $win_dir: $(ls -A "$unix_dir" | paste -sd,)"
  expect_machine_list_holds_sample "uninstall stopped, nothing lost"
fi
key_exists "$uninstall_key" "$view" && fail "the Add/Remove Programs entry is still there"
key_exists "$options_key" /reg:64 && fail "the options key is still there"
[ -e "$menu_dir" ] && fail "the Start Menu folder is still there"
[ -z "$(reg_value "$machine_run" Vantorell /reg:64)" ] || fail "the machine's Run value 'Vantorell' is still there"
[ -e "$(dirname "$shared_list")" ] && fail "the machine's list folder is still there: $(ls -A "$(dirname "$shared_list")")"
[ -e "$user_data" ] && fail "the user's folder is still there: $(ls -A "$user_data")"
[ -z "$(reg_value "$user_run" Vantorell)" ] || fail "the user's Run value 'Vantorell' is still there"
actual=$(reg_value "$user_run" "$sample_name")
[ "$actual" = "$sample_data" ] || fail "'$sample_name' is not back in the user's Run key as it was: '$actual'"
actual=$(reg_value "$machine_run" "$machine_name" $machine_view)
[ "$actual" = "$machine_data" ] || fail "'$machine_name' is not back in the machine's Run key as it was: '$actual'"

[ "$failed" = 0 ] && echo "PASS"
exit $failed
