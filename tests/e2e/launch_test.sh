#!/usr/bin/env bash
# The logon run starts exactly the program an entry names. "C:\Program.exe" is
# planted beside "C:\Program Files\A B\vtmarker.exe" (both vtmarker, which
# logs its own path in VTMARKER_LOG): a shortcut record without its .lnk (started
# as its quoted target), a Run record with an unquoted path with blanks, and a
# shortcut record with its kept .lnk (started through the shell) must all run
# the target and never C:\Program.exe. A kept .lnk whose target is gone starts
# nothing.
#
# Usage: launch_test.sh VANTORELL_EXE VTDRIVER_EXE VTMARKER_EXE POINTER_SIZE OUTPUT_DIR
# Needs WINEPREFIX (scripts/test.sh prepares one) and skips (exit 77) without it.
set -uo pipefail

exe=$1 driver=$2 marker=$3 pointer_size=$4 out=$5
scenario=launch
# shellcheck source=e2e-lib.sh
. "$(dirname "$0")/e2e-lib.sh"
e2e_setup

drive_c="$WINEPREFIX/drive_c"
spaced="$drive_c/Program Files/A B"
[ -e "$drive_c/Program.exe" ] && { fail "C:\\Program.exe is there already"; exit 1; }
mkdir -p "$spaced" && cp "$marker" "$spaced/vtmarker.exe" && cp "$marker" "$drive_c/Program.exe" || { fail "plant"; exit 1; }
cleanups+=("rm -f '$drive_c/Program.exe'" "rm -rf '$spaced'"
  "wine reg delete '$machine_run' /v Vantorell /f $reg_view" "wine reg delete '$options_key' /f $reg_view")
target='C:\Program Files\A B\vtmarker.exe'
note="$win_scratch\\marker.txt"
export VTMARKER_LOG="$win_scratch\\ran.txt"
ran="$scratch/ran.txt"

mkdir -p "$scratch/Shortcuts/SUF"
wine "$driver" make-shortcut "$win_scratch\\Shortcuts\\SUF\\Kept.lnk" "$target" "$note kept" || fail "make the kept .lnk"
wine "$driver" make-shortcut "$win_scratch\\Shortcuts\\SUF\\Gone.lnk" 'C:\Program Files\A B\gone.exe' || fail "make the broken .lnk"
rm -f "$spaced/gone.exe"
{
  printf '%s\r\n' "Bare.lnk;SUF;$target;$note bare;0;1" "Unquoted;crun;$target $note unquoted;;0;1" \
    "Kept.lnk;SUF;$target;$note kept;0;2" "Gone.lnk;SUF;C:\\Program Files\\A B\\gone.exe;;0;1"
} >"$scratch/StartupList.txt"

ran_lines() { tr -d '\r' 2>/dev/null <"$ran" | grep -c .; }
three_ran() { [ "$(ran_lines)" -ge 3 ]; }

e2e_start -b
poll 15 three_ran || fail "not every entry ran: $(cat "$ran" 2>/dev/null)"
# Every record falls due by the second tick, so by the end of the program
# every start it made is in the log.
drive tray close || fail "the tray menu"
drive wait-exit "$app_pid" 10 || fail "the program did not end"
while IFS=$'\t' read -r program _; do
  [ "$program" = "$target" ] || fail "ran $program instead of the target"
done < <(tr -d '\r' <"$ran")
[ "$(ran_lines)" = 3 ] || fail "started $(ran_lines) times, not 3: $(cat "$ran")"
for word in bare unquoted kept; do
  tr -d '\r' <"$scratch/marker.txt" | cut -f2 | grep -qx "$word" || fail "$word did not run: $(cat "$scratch/marker.txt")"
done
exit $failed
