#!/usr/bin/env bash
# Tried as a user would: the logon run (vantorell.exe -b) on a Wine desktop
# with a taskbar. The startup list holds deferred entries that run vtmarker,
# which notes its arguments and the time in a marker file: two with delays
# (one stored as a shortcut's target and arguments), two to be confirmed (the
# driver answers Yes to one and No to the other), and a switched-off one. The
# window is never seen: the program sits in the tray; the menu's "&Close" ends
# it even with "Minim" on. The registry and "StartupList.txt" are unchanged.
#
# Usage: logon_test.sh VANTORELL_EXE VTDRIVER_EXE VTMARKER_EXE POINTER_SIZE OUTPUT_DIR
# Needs WINEPREFIX (scripts/test.sh prepares one) and skips (exit 77) without it.
set -uo pipefail

exe=$1 driver=$2 marker=$3 pointer_size=$4 out=$5
scenario=logon
# shellcheck source=e2e-lib.sh
. "$(dirname "$0")/e2e-lib.sh"
e2e_setup

list="$scratch/StartupList.txt"
marks="$scratch/marker.txt"
tool="$win_scratch\\vtmarker.exe"
note="$win_scratch\\marker.txt"
cleanups+=("wine reg delete '$machine_run' /v Vantorell /f $reg_view" "wine reg delete '$options_key' /f $reg_view"
  "wine reg delete '$user_run' /v Vantorell /f" "wine reg delete '$user_options_key' /f")
wine reg delete "$options_key" /f $reg_view >/dev/null 2>&1
wine reg delete "$user_options_key" /f >/dev/null 2>&1
{
  printf '%s\r\n' "Later;crun;\"$tool\" $note later;;0;3" "Linked.lnk;SUF;$tool;$note linked;0;2" \
    "AskYes;crun;\"$tool\" $note yes;;1;0" "AskNo;lrun;\"$tool\" $note no;;1;0" "Off;crun;\"$tool\" $note off;;0;0"
} >"$list"
list_before=$(md5sum <"$list")

now_ms() { date +%s%3N; }
# The time noted by a started entry, by its argument word.
marked_at() { tr -d '\r' 2>/dev/null <"$marks" | awk -F'\t' -v w="$1" '$2 ~ ("(^| )" w "$") { print $1; f = 1; exit } END { exit !f }'; }
marked() { marked_at "$1" >/dev/null; }
not_marked() { ! marked "$1"; }
window_hidden() { [ "$(drive main-state)" = hidden ]; }

# ---- logon run: at once in the tray, never on the screen
e2e_start -b
started=$(now_ms) # the window exists: the start-up sequence runs now
window_hidden || fail "the window is visible in logon mode"
poll 5 tray_icon_shown || fail "no tray icon in logon mode"

# ---- the confirmed entries, asked about at once: Yes starts one, No the other not
text=$(drive --timeout 10 box-text 'Start program') || fail "no prompt for the confirmed entries"
[ "$text" = "With the help of Vantorell, you have selected to confirm the startup of the following program: AskYes. Click 'Yes' to launch this program" ] ||
  fail "first prompt: $text"
not_marked yes || fail "started before the answer"
drive answer 'Start program' '&Yes' || fail "cannot answer Yes"
poll 5 marked yes || fail "the entry answered Yes was not started"
text=$(drive --timeout 5 box-text 'Start program') || fail "no prompt for the second confirmed entry"
case "$text" in *"program: AskNo."*) ;; *) fail "second prompt: $text" ;; esac
drive answer 'Start program' '&No' || fail "cannot answer No"
window_hidden || fail "the window came up during the prompts"

# ---- the delayed entries, each after its delay, one tick apart
poll 10 marked later || fail "the entry with delay 3 was not started"
# The shortcut record ran as its target, a blank and its arguments (the marker file among them).
linked=$(marked_at linked) && later=$(marked_at later) || fail "the shortcut entry was not started: $(cat "$marks")"
if [ -n "${later:-}" ] && [ -n "${linked:-}" ]; then
  [ $((later - started)) -ge 2500 ] && [ $((later - started)) -le 8000 ] || fail "delay 3 started after $((later - started)) ms"
  [ $((later - linked)) -ge 500 ] && [ $((later - linked)) -le 1600 ] || fail "delays 2 and 3 $((later - linked)) ms apart"
fi
not_marked no || fail "the entry answered No was started"
not_marked off || fail "the switched-off entry was started"
[ "$(grep -c . "$marks")" = 3 ] || fail "started more than once: $(cat "$marks")"
window_hidden || fail "the window is visible"

# ---- the records stay records
for name in Later AskYes Off; do reg_absent "$user_run" "$name" || fail "$name in the user's Run key"; done
reg_absent "$machine_run" AskNo machine || fail "AskNo in the machine's Run key"
[ "$(md5sum <"$list")" = "$list_before" ] || fail "the startup list changed: $(cat "$list")"

# ---- the tray menu's Close ends the program although Minim is on
drive tray close || fail "the tray menu"
drive wait-exit "$app_pid" 10 || fail "the program did not end from the tray menu"
[ "$(reg_value "$user_options_key" Min)" = 0x1 ] || fail "options not saved at the close"
[ "$(reg_value "$user_run" Vantorell)" = "$win_exe -b" ] || fail "own Run value (a portable copy's is the user's)"
poll 5 tray_icon_gone || fail "the tray icon stayed after the end"
exit $failed
