#!/usr/bin/env bash
# Tried as a user would, in one program start: the real vantorell.exe on a Wine
# desktop with a taskbar, driven by vtdriver. Entries are made beforehand (Run
# values in both hives, shortcuts in both Startup folders, a recorded entry);
# the scenario checks their rows and colours, switches, confirms, delays and
# deletes entries, tries the program's own entry, lets the monitor report a
# newcomer and take out a switched-off entry that came back, goes to the tray
# and back (minimise button, close box with "Minim", tray icon and menu),
# starts a second copy while the first sits in the tray, and finally closes
# with "Minim" off. After every step the registry, the Startup folders and
# "StartupList.txt" are checked.
#
# Usage: session_test.sh VANTORELL_EXE VTDRIVER_EXE VTMARKER_EXE POINTER_SIZE OUTPUT_DIR
# Needs WINEPREFIX (scripts/test.sh prepares one) and skips (exit 77) without it.
set -uo pipefail

exe=$1 driver=$2 marker=$3 pointer_size=$4 out=$5
scenario=session
# shellcheck source=e2e-lib.sh
. "$(dirname "$0")/e2e-lib.sh"
e2e_setup

minim='Minimize Vantorell instead of closing it (this allows Vantorell to monitor the programs)'
list="$scratch/StartupList.txt"
tab=$'\t'

# ---- the scene
user_startup=$(wine "$driver" startup-folder | tr -d '\r') &&
  common_startup=$(wine "$driver" startup-folder common | tr -d '\r') || { fail "no Startup folders"; exit 1; }
user_lnk="$(winepath -u "$user_startup" 2>/dev/null)/Zeta Tool.lnk"
common_lnk="$(winepath -u "$common_startup" 2>/dev/null)/Common Tool.lnk"
cleanups+=("wine reg delete '$user_run' /v jusched /f" "wine reg delete '$user_run' /v NewComer /f"
  "wine reg delete '$machine_run' /v msblast /f $reg_view" "wine reg delete '$machine_run' /v AVG7_CC /f $reg_view"
  "wine reg delete '$machine_run' /v Vantorell /f $reg_view" "wine reg delete '$options_key' /f $reg_view"
  "wine reg delete '$user_run' /v Vantorell /f" "wine reg delete '$user_options_key' /f"
  "rm -f '$user_lnk' '$common_lnk'")
wine reg delete "$options_key" /f $reg_view >/dev/null 2>&1
wine reg delete "$user_options_key" /f >/dev/null 2>&1
wine reg add "$user_run" /v jusched /d 'C:\Program Files\Java\jusched.exe' /f >/dev/null &&
  wine reg add "$machine_run" /v msblast /d 'C:\WINDOWS\msblast.exe' /f $reg_view >/dev/null &&
  wine reg add "$machine_run" /v AVG7_CC /d '"C:\Program Files\AVG\avgcc.exe" /STARTUP' /f $reg_view >/dev/null &&
  wine "$driver" make-shortcut "$user_startup\\Zeta Tool.lnk" 'C:\windows\system32\winver.exe' &&
  wine "$driver" make-shortcut "$common_startup\\Common Tool.lnk" 'C:\windows\system32\notepad.exe' '/p' ||
  { fail "cannot make the scene"; exit 1; }
printf 'Old Tool;crun;C:\\Tools\\old.exe;;0;0\r\n' >"$list"

# ---- grid helpers
rows() { drive grid | awk -F'\t' '$1 == "row"' | cut -f2-; }
# The grid row (1-based) of an entry, by name.
row_of() { rows | awk -F'\t' -v n="$1" '$2 == n { print NR; found = 1; exit } END { exit !found }'; }
# state|confirm|delay|command|rating of an entry's row.
row_state() {
  rows | awk -F'\t' -v n="$1" '$2 == n { print $1 "|" $3 "|" $5 "|" $6 "|" $7; found = 1; exit } END { exit !found }'
}
row_is() { [ "$(row_state "$1")" = "$2" ]; }
no_row() { ! row_of "$1" >/dev/null; }
expect_row() {
  poll 5 row_is "$1" "$2" || fail "row of $1: $(row_state "$1") (expected $2)"
}
list_has() { tr -d '\r' <"$list" | grep -Fxq -- "$1"; }
list_lacks() { ! tr -d '\r' <"$list" 2>/dev/null | grep -Fq -- "$1"; }
dblclick() {
  local row
  row=$(row_of "$1") || { fail "no row for $1"; return 1; }
  drive dblclick "$2" "$row"
}
select_row() {
  local row
  row=$(row_of "$1") || { fail "no row for $1"; return 1; }
  drive click 1 "$row"
}

# ---- start: every entry in its row and colour (red 1, blue 2, green 3, black 0)
e2e_start
drive --timeout 20 wait-main visible 20 || { fail "the main window did not appear"; exit 1; }
poll 5 row_of 'Old Tool' >/dev/null || fail "the grid was not filled"
expect_row jusched '1|0|0|C:\Program Files\Java\jusched.exe|2'
expect_row msblast '1|0|0|C:\WINDOWS\msblast.exe|1'
expect_row AVG7_CC '1|0|0|"C:\Program Files\AVG\avgcc.exe" /STARTUP|3'
expect_row 'Zeta Tool.lnk' '1|0|0|C:\windows\system32\winver.exe|0'
expect_row 'Common Tool.lnk' '1|0|0|C:\windows\system32\notepad.exe|0'
expect_row 'Old Tool' '0|0|0|C:\Tools\old.exe|0'
expect_row Vantorell "1|0|0|$win_exe -b|3"
[ "$(reg_value "$user_run" Vantorell)" = "$win_exe -b" ] || fail "own Run value (a portable copy's is the user's)"
tray_icon_gone || fail "a tray icon while the window is shown"

# ---- switch off and on
dblclick jusched 0
expect_row jusched '0|0|0|C:\Program Files\Java\jusched.exe|2'
reg_absent "$user_run" jusched || fail "jusched still in the Run key after switching it off"
list_has 'jusched;crun;C:\Program Files\Java\jusched.exe;;0;0' || fail "no record for jusched: $(cat "$list")"
dblclick jusched 0
expect_row jusched '1|0|0|C:\Program Files\Java\jusched.exe|2'
[ "$(reg_value "$user_run" jusched)" = 'C:\Program Files\Java\jusched.exe' ] || fail "jusched not back in the Run key"
list_lacks 'jusched;' || fail "jusched still recorded: $(cat "$list")"

# ---- confirm startup
dblclick msblast 2
expect_row msblast '2|1|0|C:\WINDOWS\msblast.exe|1'
reg_absent "$machine_run" msblast machine || fail "msblast still in the machine's Run key"
list_has 'msblast;lrun;C:\WINDOWS\msblast.exe;;1;0' || fail "no confirm record for msblast: $(cat "$list")"

# ---- a delay chosen in the dialog
dblclick AVG7_CC 4
drive delay 30 || fail "the delay dialog"
expect_row AVG7_CC '2|0|30|"C:\Program Files\AVG\avgcc.exe" /STARTUP|3'
reg_absent "$machine_run" AVG7_CC machine || fail "AVG7_CC still in the machine's Run key"
list_has 'AVG7_CC;lrun;"C:\Program Files\AVG\avgcc.exe" /STARTUP;;0;30' || fail "no delay record: $(cat "$list")"

# ---- delete an active and a recorded entry
select_row 'Common Tool.lnk' && drive click-button 'Delete selected entry' && drive answer 'Delete entry' '&Yes' ||
  fail "delete question for Common Tool.lnk"
poll 5 no_row 'Common Tool.lnk' || fail "Common Tool.lnk still shown"
[ ! -e "$common_lnk" ] || fail "the common shortcut is still there"
list_lacks 'Common Tool.lnk' || fail "a deleted active entry was recorded"
select_row 'Old Tool' && drive click-button 'Delete selected entry' && drive answer 'Delete entry' '&Yes' ||
  fail "delete question for Old Tool"
poll 5 no_row 'Old Tool' || fail "Old Tool still shown"
list_lacks 'Old Tool' || fail "Old Tool still recorded"
[ -e "$user_lnk" ] || fail "the user's shortcut went away"

# ---- the own entry is protected
list_before=$(cat "$list")
dblclick Vantorell 0
text=$(drive box-text Vantorell) || fail "no self-protection message"
case "$text" in "You are trying to disable Vantorell using Vantorell!"*) ;; *) fail "self-protection text: $text" ;; esac
drive answer Vantorell OK || fail "cannot close the self-protection message"
expect_row Vantorell "1|0|0|$win_exe -b|3"
[ "$(reg_value "$user_run" Vantorell)" = "$win_exe -b" ] || fail "own Run value changed"
[ "$(cat "$list")" = "$list_before" ] || fail "the list changed"

# ---- the monitor: a newcomer is reported, a switched-off entry that comes back is taken out again
dblclick jusched 0
expect_row jusched '0|0|0|C:\Program Files\Java\jusched.exe|2'
# The comeback goes in first: should a tick fall between the two writes, it
# takes jusched out silently and the next one reports the newcomer.
wine reg add "$user_run" /v jusched /d 'C:\Program Files\Java\jusched.exe' /f >/dev/null &&
  wine reg add "$user_run" /v NewComer /d 'C:\new\newcomer.exe' /f >/dev/null || fail "reg add"
text=$(drive --timeout 27 box-text 'New startup program!') || fail "no report of the new program within two ticks"
case "$text" in *NewComer*) ;; *) fail "report text: $text" ;; esac
case "$text" in *jusched*) fail "the re-disabled entry was reported: $text" ;; esac
reg_absent "$user_run" jusched || fail "AutoKill did not take jusched out again"
list_has 'jusched;crun;C:\Program Files\Java\jusched.exe;;0;0' || fail "jusched record lost"
drive answer 'New startup program!' OK || fail "cannot close the report"
expect_row NewComer '1|0|0|C:\new\newcomer.exe|0'
[ "$(reg_value "$user_run" NewComer)" = 'C:\new\newcomer.exe' ] || fail "the newcomer's value was touched"

# ---- minimise to the tray and back by the tray icon
drive minimize && drive wait-main hidden 5 || fail "minimise did not hide the window"
poll 5 tray_icon_shown || fail "no tray icon after minimising"
drive tray dblclick && drive wait-main visible 5 || fail "the tray icon's double-click did not bring the window back"
poll 5 tray_icon_gone || fail "the tray icon stayed"

# ---- close with Minim on: to the tray; the process keeps running; the menu's Show brings it back
[ "$(drive check-state "$minim")" = 1 ] || fail "Minim is not on by default"
drive request-close && drive wait-main hidden 5 || fail "the close box with Minim did not go to the tray"
poll 5 tray_icon_shown || fail "no tray icon after the close box"
drive wait-exit "$app_pid" 0.5 2>/dev/null && fail "the program ended although Minim is on"
drive tray show && drive wait-main visible 5 || fail "the tray menu's Show did not bring the window back"

# ---- a second start while the first sits in the tray
drive minimize && drive wait-main hidden 5 || fail "minimise"
second=$(e2e_launch) || fail "cannot start a second copy"
drive wait-exit "$second" 10 || fail "the second copy did not end"
drive wait-main visible 4 || fail "the first copy did not come out of the tray"
[ "$(drive pid)" = "$app_pid" ] || fail "the window is not the first copy's"
poll 3 test ! -s "$scratch/ResF.txt" || fail "ResF.txt was not emptied"

# ---- close with Minim off: the program ends and saves its options
drive set-check "$minim" 0 || fail "cannot switch Minim off"
drive close || fail "the window did not close"
drive wait-exit "$app_pid" 10 || fail "the program did not end"
[ "$(reg_value "$user_options_key" Warn)" = 0x1 ] && [ "$(reg_value "$user_options_key" Kill)" = 0x1 ] &&
  [ "$(reg_value "$user_options_key" Min)" = 0x0 ] || fail "options not saved: $(wine reg query "$user_options_key")"
[ "$(reg_value "$user_run" Vantorell)" = "$win_exe -b" ] || fail "own Run value after the close"
list_has 'msblast;lrun;C:\WINDOWS\msblast.exe;;1;0' && list_has 'jusched;crun;C:\Program Files\Java\jusched.exe;;0;0' ||
  fail "the list after the close: $(cat "$list")"
exit $failed
