#!/usr/bin/env bash
# End-to-end test of the portable zip under Wine, as a user would meet it:
#  1. builds the zip for this build's architecture from the built executables
#     (installer/make-portable-zip.sh, as scripts/package.sh does) and checks its contents;
#  2. unpacks it into a fresh folder with a space in its name that already holds a file
#     of the user's;
#  3. starts vantorell.exe from there on a Wine desktop; the window's version resource,
#     vantorellc --version and the project's version agree; the program registers its
#     own Run value (in whichever hive it registers a portable copy) pointing at this copy;
#  4. switches a Run value of the user off and on again with a double-click, through the
#     list beside the exe, and closes the program;
#  5. runs "vantorell.exe -u": afterwards every Run key is as before the test (no Run value
#     "Vantorell" anywhere), and the folder holds the zip's files and the user's file, unchanged,
#     and nothing else.
#
# Usage: portable_test.sh VANTORELL_EXE VANTORELLC_EXE VTDRIVER_EXE POINTER_SIZE VERSION OUTPUT_DIR
# Needs WINEPREFIX (scripts/test.sh prepares one) and skips (exit 77) without it or without zip.
set -uo pipefail

if [ $# -ne 6 ]; then
  echo "usage: $0 VANTORELL_EXE VANTORELLC_EXE VTDRIVER_EXE POINTER_SIZE VERSION OUTPUT_DIR" >&2
  exit 2
fi
exe=$1 console_exe=$2 driver=$3 pointer_size=$4 version=$5 out=$6
marker=""
scenario=portable
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
# shellcheck source=e2e-lib.sh
. "$here/e2e-lib.sh"

command -v zip >/dev/null && command -v unzip >/dev/null || { echo "SKIP: zip or unzip not found"; exit 77; }
e2e_require_prefix
arch=win64
[ "$pointer_size" = 4 ] && arch=win32
scratch=$(mktemp -d "$out/e2e_portable.XXXXXX")
desk="vt-portable-$$-$RANDOM"
trap e2e_cleanup EXIT
wine reg add "HKCU\\Software\\Wine\\Explorer\\Desktops\\$desk" /v EnableShell /t REG_DWORD /d 1 /f >/dev/null ||
  { fail "cannot enable the shell"; exit 1; }

sample_name='Vt Portable Sample'
sample_data='"C:\Tools\portable sample.exe" /tray'
step() { echo "-- $*"; }

# Every value of the Run keys the program may touch, one "key|name|data" a line, sorted.
run_keys() {
  local key view
  for key in "$user_run|" "$machine_run|/reg:64" "$machine_run|/reg:32"; do
    view=${key#*|}
    # shellcheck disable=SC2086
    wine reg query "${key%|*}" $view 2>/dev/null | tr -d '\r' |
      K="${key%|*}$view" awk '/^    / { sub(/^    /, ""); print ENVIRON["K"] "|" $0 }'
  done | sort
}
# The data of a value of the user's Run key (names may hold blanks), empty when absent.
user_value() { run_keys | KEY=$user_run NAME=$1 awk -F'|' '$1 == ENVIRON["KEY"] { split($2, f, "    "); if (f[1] == ENVIRON["NAME"]) print f[3] }'; }
# Where a Run value "Vantorell" stands, one "key+view|data" a line.
own_run_values() { run_keys | awk -F'|' '{ split($2, f, "    ") } f[1] == "Vantorell" { print $1 "|" f[3] }'; }

cleanups+=("wine reg delete '$user_run' /v '$sample_name' /f"
  "wine reg delete '$user_run' /v Vantorell /f"
  "wine reg delete '$machine_run' /v Vantorell /f /reg:64" "wine reg delete '$machine_run' /v Vantorell /f /reg:32"
  "wine reg delete 'HKCU\\Software\\Vantorell' /f" "wine reg delete '$options_key' /f $reg_view")

# ---- 1. the zip
step "building the $arch portable zip"
zip_file=$("$root/installer/make-portable-zip.sh" "$arch" "$version" "$exe" "$console_exe" "$scratch/dist") ||
  { fail "make-portable-zip.sh failed"; exit 1; }
[ "$(basename "$zip_file")" = "Vantorell-$version-$arch-portable.zip" ] || fail "zip name: $(basename "$zip_file")"
pictures=$(cd "$root/docs/help" && ls ./*.png | sed 's|^\./|help/|')
expected=$(printf '%s\n' vantorell.exe vantorellc.exe VantorellHelp.html LICENSE.txt THIRD-PARTY-NOTICES.txt \
  policy.schema.json vantorell.dsc.resource.json $pictures |
  LC_ALL=C sort)
listed=$(unzip -Z1 "$zip_file" | grep -v '/$' | LC_ALL=C sort)
[ "$listed" = "$expected" ] || fail "the zip holds: $(echo $listed), expected: $(echo $expected)"
grep -q 'VantorellHelp.html' <<<"$listed" && unzip -p "$zip_file" VantorellHelp.html | grep -q 'src="help/' ||
  fail "the help page in the zip shows no pictures"

# ---- 2. a fresh folder of the user's
app_dir="$scratch/Portable Vantorell"
mkdir -p "$app_dir" && printf 'my own notes\r\n' >"$app_dir/notes.txt"
unzip -q "$zip_file" -d "$app_dir" || { fail "unzip"; exit 1; }
cmp -s "$exe" "$app_dir/vantorell.exe" && cmp -s "$console_exe" "$app_dir/vantorellc.exe" ||
  fail "the unpacked programs are not the built ones"
folder_state() { (cd "$app_dir" && find . -type f -print0 | LC_ALL=C sort -z | xargs -0 sha256sum); }
folder_before=$(folder_state)
win_dir=$(winepath -w "$app_dir" 2>/dev/null | tr -d '\r')
win_exe="$win_dir\\vantorell.exe"

[ -z "$(own_run_values)" ] || { fail "a Run value 'Vantorell' is already there: $(own_run_values)"; exit 1; }
wine reg add "$user_run" /v "$sample_name" /d "$sample_data" /f >/dev/null || { fail "reg add"; exit 1; }
runs_before=$(run_keys)

# ---- 3. start it from there
step "starting the unpacked vantorell.exe"
(cd "$app_dir" && exec wine explorer "/desktop=$desk,1024x768" vantorell.exe >/dev/null 2>&1) &
launcher_pid=$!
e2e_hold_desktop || exit 1
app_pid=$(drive --timeout 30 pid) || { fail "the program did not start"; exit 1; }
drive --timeout 20 wait-main visible 20 || { fail "the main window did not appear"; exit 1; }

rows() { drive grid | awk -F'\t' '$1 == "row"' | cut -f2-; }
row_of() { rows | awk -F'\t' -v n="$1" '$2 == n { print NR; found = 1; exit } END { exit !found }'; }
row_state() { rows | awk -F'\t' -v n="$1" '$2 == n { print $1; found = 1; exit } END { exit !found }'; }
row_is() { [ "$(row_state "$1")" = "$2" ]; }
poll 5 row_of "$sample_name" >/dev/null || fail "no row for '$sample_name'"

window_version=$(drive version) || fail "cannot read the window's version resource"
console_version=$(cd "$app_dir" && timeout -k 2 20 wine vantorellc.exe --version | tr -d '\r')
[ "$window_version" = "$version $version.0" ] || [ "$window_version" = "$version $version" ] ||
  fail "the window's version resource says '$window_version', the project's version is $version"
[ "$console_version" = "vantorellc $version" ] || fail "vantorellc --version: '$console_version', expected 'vantorellc $version'"

own=$(own_run_values)
[ "$(wc -l <<<"$own")" = 1 ] && { [ "${own#*|}" = "\"$win_exe\" -b" ] || [ "${own#*|}" = "$win_exe -b" ]; } ||
  fail "the program's own Run value, expected once with '\"$win_exe\" -b': '$own'"
echo "own Run value: $own"

# ---- 4. switch off and on, then close
step "switching '$sample_name' off and on"
list="$app_dir/StartupList.txt"
drive dblclick 0 "$(row_of "$sample_name")" && poll 5 row_is "$sample_name" 0 || fail "the entry did not go off"
[ -z "$(user_value "$sample_name")" ] || fail "'$sample_name' is still in the Run key after switching it off"
grep -qF "$sample_name;crun;$sample_data;" "$list" 2>/dev/null ||
  fail "\"StartupList.txt\" beside the exe does not record '$sample_name': $(cat "$list" 2>&1)"
drive dblclick 0 "$(row_of "$sample_name")" && poll 5 row_is "$sample_name" 1 || fail "the entry did not come back on"
[ "$(user_value "$sample_name")" = "$sample_data" ] || fail "'$sample_name' is not back in the Run key"

drive set-check 'Minimize Vantorell instead of closing it (this allows Vantorell to monitor the programs)' 0 ||
  fail "cannot switch Minim off"
drive close && drive wait-exit "$app_pid" 10 || fail "the program did not end"
app_pid=""

# ---- 5. -u: everything of the program's goes
step "vantorell.exe -u"
(cd "$app_dir" && timeout -k 2 30 wine vantorell.exe -u >/dev/null 2>&1) || fail "vantorell.exe -u ended with $?"
[ -z "$(own_run_values)" ] || fail "a Run value 'Vantorell' is left: $(own_run_values)"
runs_after=$(run_keys)
[ "$runs_after" = "$runs_before" ] || fail "the Run keys changed: $(diff <(echo "$runs_before") <(echo "$runs_after"))"
folder_after=$(folder_state)
[ "$folder_after" = "$folder_before" ] ||
  fail "the folder is not as it was: $(diff <(echo "$folder_before") <(echo "$folder_after") | grep '^[<>]')"
exit $failed
