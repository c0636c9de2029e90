#!/usr/bin/env bash
# End-to-end test of the grid's row menu, its keys and the layout kept between
# starts, driven from outside as a person would: a right click opens the menu
# at the row, with the items that apply to the entry enabled (the status line
# says what a highlighted item does, or why it is not available); Copy puts the
# row on the clipboard; "Open file location" opens an Explorer window; "Open in
# Registry Editor" starts regedit at the entry's key (its LastKey); the context
# menu key, Space, Delete, Ctrl+C and F5 act on the selected row. Then a column
# is widened and the window moved and sized, and the next start shows them
# again, but not a place off every screen.
#
# Usage: rows_test.sh VANTORELL_EXE VTDRIVER_EXE POINTER_SIZE OUTPUT_DIR
# Needs WINEPREFIX (a prepared prefix, as scripts/test.sh provides) and skips
# (exit 77) without one. Every wait has a deadline; on failure a screenshot is
# saved in OUTPUT_DIR and the processes the test started are ended by their ids.
set -uo pipefail

exe=$1 driver=$2 pointer_size=$3 out=$4
here=$(cd "$(dirname "$0")" && pwd)

if [ -z "${WINEPREFIX:-}" ] || [ ! -d "$WINEPREFIX" ]; then
  echo "SKIP: no prepared Wine prefix in WINEPREFIX (scripts/test.sh provides one)"
  exit 77
fi
# shellcheck source=../../scripts/wine-env.sh
. "$here/../../scripts/wine-env.sh"
wine_env_display || exit 1

user_run='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
options='HKCU\Software\Vantorell'
regedit_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Applets\Regedit'
service=VtRowsService
minim='Minimize Vantorell instead of closing it (this allows Vantorell to monitor the programs)'

scratch=$(mktemp -d "$out/e2e_rows.XXXXXX")
blast_file="$(winepath -u 'C:\windows' 2>/dev/null)/vtrowsblast.exe"
app_pid=""  # Windows process id of the program
failed=0

drive() { wine "$driver" "$@" | tr -d '\r'; return "${PIPESTATUS[0]}"; }
fail() {
  echo "FAIL: $*" >&2
  failed=1
}

cleanup() {
  if [ "$failed" = 1 ]; then
    import -window root "$out/e2e_rows-failure.png" 2>/dev/null && echo "screenshot: $out/e2e_rows-failure.png" >&2
  fi
  # The windows the program opened, closed as a user would (Wine's Explorer
  # windows live in the process that holds its desktop).
  wine "$driver" --timeout 1 close-window ExplorerWClass system32 >/dev/null 2>&1
  wine "$driver" --timeout 1 close-window RegEdit_RegEdit 'Registry Editor' >/dev/null 2>&1
  [ -n "$app_pid" ] && wine "$driver" kill "$app_pid" >/dev/null 2>&1
  wine reg delete "$user_run" /v jusched /f >/dev/null 2>&1
  wine reg delete "$user_run" /v vtrowsblast /f >/dev/null 2>&1
  wine reg delete "$user_run" /v Vantorell /f >/dev/null 2>&1
  wine reg delete "$options" /f >/dev/null 2>&1
  wine reg delete "$regedit_key" /v LastKey /f >/dev/null 2>&1
  wine "$driver" service-delete "$service" >/dev/null 2>&1
  rm -f "$blast_file"
  rm -rf "$scratch"
  if [ -n "${_vt_xvfb_pid:-}" ]; then kill "$_vt_xvfb_pid" 2>/dev/null; fi
}
trap cleanup EXIT

poll() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    [ $SECONDS -ge $deadline ] && return 1
    sleep 0.2
  done
}

# ---- the scene: a program whose file is there, one whose file is not, a service with its file
if drive --timeout 0 wait-window Vantorell 0 2>/dev/null; then
  fail "a Vantorell window is already open in this prefix"
  exit 1
fi
wine reg add "$user_run" /v jusched /d 'C:\windows\system32\winver.exe' /f >/dev/null &&
  wine reg add "$user_run" /v vtrowsblast /d 'C:\windows\vtrowsblast.exe' /f >/dev/null || { fail "reg add"; exit 1; }
rm -f "$blast_file"
drive service "$service" auto 'C:\windows\system32\winver.exe' >/dev/null || { fail "cannot make $service"; exit 1; }

cp "$exe" "$scratch/vantorell.exe"
start_program() {
  (cd "$scratch" && exec wine ./vantorell.exe >/dev/null 2>&1) &
  drive wait-window Vantorell 20 || { fail "the main window did not appear"; exit 1; }
  app_pid=$(drive pid)
}
close_program() {
  drive set-check "$minim" 0 >/dev/null || fail "cannot switch Minim off"
  drive close || fail "the window did not close"
  drive wait-exit "$app_pid" 10 || fail "the program did not end"
  app_pid=""
}

grid() { drive grid; }
row_of() { grid | awk -F'\t' -v n="$1" '$1 == "row" { r++ } $1 == "row" && $3 == n { print r; exit }'; }
cell() { grid | awk -F'\t' -v n="$1" -v c="$2" '$1 == "row" && $3 == n { print $(c + 2); exit }'; }
status() { drive status; }

start_program
# The files are looked at once the window is up: wait for jusched's publisher.
poll 15 bash -c "[ -n \"\$(wine '$driver' grid | tr -d '\r' | awk -F'\t' '\$3 == \"jusched\" { print \$9 }')\" ]" ||
  fail "no publisher for jusched"

# ---- the menu at the row, its items as the entry allows
# Walks the open menu from its first item to its last and prints the status line at each.
walk_menu() {
  local i
  for i in 1 2 3 4 5 6 7 8; do
    drive menu-key down >/dev/null
    sleep 0.15
    status
  done
}
read -r cx cy < <(drive cell-corner 1 "$(row_of jusched)")
drive rclick 1 "$(row_of jusched)" || fail "rclick jusched"
read -r mx my _ < <(drive menu) || fail "no menu at jusched"
# Posted clicks carry no cursor: the menu opens at the cell's middle, within the row.
[ "${mx:-0}" -ge "$cx" ] && [ "${my:-0}" -ge "$cy" ] && [ "${my:-0}" -le $((cy + 16)) ] ||
  fail "the menu at ${mx:-?},${my:-?}, not at the row's cell at $cx,$cy"
hints=$(walk_menu)
expected="Takes the entry out of its place, or puts it back
Vantorell asks before it starts the program at logon
Vantorell starts the program this many seconds after logon
Removes the entry for good
Opens the file's folder in Explorer, with the file selected
Opens the Registry Editor at the entry's key
Shows the file's Windows properties
Puts the row on the clipboard: name, command, file, publisher and place"
[ "$hints" = "$expected" ] || fail "jusched's menu, item by item: $hints"
# The last item is Copy.
drive menu-key enter >/dev/null && drive no-menu || fail "the menu did not close on Copy"
copied=$(drive clipboard)
IFS=$'\t' read -r c_name c_command c_file c_publisher c_place <<<"${copied%$'\r'}"
[ "$c_name|$c_command|$c_file" = 'jusched|C:\windows\system32\winver.exe|C:\windows\system32\winver.exe' ] ||
  fail "copied: $copied"
[ "$c_publisher" = "$(cell jusched 7)" ] || fail "copied publisher '$c_publisher', the grid shows '$(cell jusched 7)'"
[ "$c_place" = 'HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run' ] ||
  [ "$c_place" = 'HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\run' ] || fail "copied place: $c_place"
[ "$(status)" = "" ] || fail "the status line kept a hint after the menu closed: $(status)"

# A service whose file is there: no confirm, no delay, no delete; the rest as for any entry.
drive rclick 1 "$(row_of "$service")" && drive menu >/dev/null || fail "no menu at $service"
hints=$(walk_menu)
drive menu-key escape >/dev/null && drive no-menu || fail "the menu did not close on Escape"
printf '%s\n' "$hints" | sed -n 2p | grep -q "^Confirm startup and Startup delay are not available for the service '$service'" ||
  fail "confirm of $service: $(printf '%s\n' "$hints" | sed -n 2p)"
printf '%s\n' "$hints" | sed -n 4p | grep -q "^The service '$service' still has its file" ||
  fail "delete of $service: $(printf '%s\n' "$hints" | sed -n 4p)"
[ "$(printf '%s\n' "$hints" | sed -n 6p)" = "Opens the Registry Editor at the entry's key" ] || fail "$service: $hints"

# A program whose file is not there: nothing to show in Explorer, no properties.
drive rclick 1 "$(row_of vtrowsblast)" && drive menu >/dev/null || fail "no menu at vtrowsblast"
hints=$(walk_menu)
drive menu-key escape >/dev/null && drive no-menu || fail "the menu did not close"
[ "$(printf '%s\n' "$hints" | sed -n 5p)" = 'The file is not there: C:\windows\vtrowsblast.exe' ] ||
  fail "open location of vtrowsblast: $(printf '%s\n' "$hints" | sed -n 5p)"
[ "$(printf '%s\n' "$hints" | sed -n 4p)" = "Removes the entry for good" ] || fail "vtrowsblast: $hints"

# ---- the shell's views: Explorer at the file, the Registry Editor at the key
# Chooses item $2 (1-based) of the menu of the row named $1.
choose() {
  local i
  drive rclick 1 "$(row_of "$1")" && drive menu >/dev/null || { fail "no menu at $1"; return; }
  for ((i = 0; i < $2; i++)); do drive menu-key down >/dev/null; done
  drive menu-key enter >/dev/null && drive no-menu || fail "the menu did not close"
}

choose jusched 5
poll 15 bash -c "wine '$driver' windows | tr -d '\r' | grep -q \$'^ExplorerWClass\t[0-9]*\tsystem32\$'" ||
  fail "no Explorer window at system32: $(drive windows) $(drive --timeout 0 box-text Vantorell 2>&1)"
drive close-window ExplorerWClass system32 || fail "the Explorer window did not close"

wine reg delete "$regedit_key" /v LastKey /f >/dev/null 2>&1
choose jusched 6
poll 15 bash -c "wine '$driver' windows | tr -d '\r' | grep -q \$'^RegEdit_RegEdit\t[0-9]*\tRegistry Editor\$'" ||
  fail "no Registry Editor window: $(drive windows)"
last_key=$(wine reg query "$regedit_key" /v LastKey 2>/dev/null | tr -d '\r' | sed -n 's/^ *LastKey *REG_SZ *//p')
# Wine's editor names the key from its hive; Windows' puts its root's name before it.
case "$last_key" in
  'HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\run' | *'\HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\run') ;;
  *) fail "LastKey: '$last_key'" ;;
esac
# The editor shows the key it opened at in its status bar.
regedit_status=$(drive child-text 'Registry Editor' msctls_statusbar32)
case "${regedit_status,,}" in
  *'hkey_current_user\software\microsoft\windows\currentversion\run') ;;
  *) fail "the Registry Editor is at '$regedit_status'" ;;
esac
drive close-window RegEdit_RegEdit 'Registry Editor' || fail "the Registry Editor did not close"

# ---- the keys, on the selected row
drive key apps >/dev/null && drive menu >/dev/null || fail "the context-menu key opened no menu"
drive menu-key escape >/dev/null && drive no-menu || fail "the menu did not close"

drive click 1 "$(row_of jusched)" >/dev/null
drive key space >/dev/null
poll 10 bash -c "[ \"\$(wine '$driver' grid | tr -d '\r' | awk -F'\t' '\$3 == \"jusched\" { print \$2 }')\" = 0 ]" ||
  fail "Space did not switch jusched off"
wine reg query "$user_run" /v jusched >/dev/null 2>&1 && fail "jusched is still in the Run key"
drive click 1 "$(row_of jusched)" >/dev/null
drive key space >/dev/null
poll 10 bash -c "[ \"\$(wine '$driver' grid | tr -d '\r' | awk -F'\t' '\$3 == \"jusched\" { print \$2 }')\" = 1 ]" ||
  fail "Space did not switch jusched on again"

drive click 1 "$(row_of vtrowsblast)" >/dev/null
drive key delete >/dev/null
drive --timeout 10 wait-window 'Delete entry' 10 || fail "Delete asked nothing"
# Answered No until it is gone: a click that reaches the box before it takes input is lost.
no_boxes() {
  drive --timeout 1 answer 'Delete entry' '&No' >/dev/null 2>&1
  sleep 0.3
  [ "$(drive boxes | head -1)" = 0 ]
}
poll 10 no_boxes || fail "the question stayed open: $(drive boxes)"
[ -n "$(row_of vtrowsblast)" ] || fail "vtrowsblast went after No"

drive key ctrl+c >/dev/null
poll 5 bash -c "wine '$driver' clipboard | tr -d '\r' | grep -q \$'^vtrowsblast\t'" || fail "Ctrl+C copied: $(drive clipboard)"

# F5 reads the places and the files again: the file that came is seen.
[ "$(cell vtrowsblast 7)" = "File not found" ] || fail "publisher of vtrowsblast: $(cell vtrowsblast 7)"
cp "$(winepath -u 'C:\windows\system32\winver.exe')" "$blast_file"
sleep 1
[ "$(cell vtrowsblast 7)" = "File not found" ] || fail "the file was seen without F5"
drive key f5 >/dev/null
poll 15 bash -c "wine '$driver' grid | tr -d '\r' | awk -F'\t' '\$3 == \"vtrowsblast\" { print \$9 }' | grep -q '^(not verified)'" ||
  fail "F5: publisher of vtrowsblast '$(cell vtrowsblast 7)'"

# ---- the layout: a column widened, the window moved and sized
before=$(grid | awk -F'\t' '$1 == "widths"' | cut -f2-)
drive drag-divider 1 60 >/dev/null || fail "drag-divider"
widths=$(grid | awk -F'\t' '$1 == "widths"' | cut -f2-)
wider=$(printf '%s\n' "$before" | awk -F'\t' -v OFS='\t' '{ $2 += 60; print }')
[ "$widths" = "$wider" ] || fail "widths after sizing: $widths (before: $before)"
drive move-window 60 50 820 640 || fail "move-window"
[ "$(drive rect)" = "60 50 820 640" ] || fail "the window is at $(drive rect)"
close_program
[ "$(wine reg query "$options" /v WindowPlace | tr -d '\r' | sed -n 's/^ *WindowPlace *REG_SZ *//p')" = 60,50,820,640 ] ||
  fail "WindowPlace: $(wine reg query "$options" /v WindowPlace)"

start_program
poll 5 bash -c "[ \"\$(wine '$driver' rect | tr -d '\r')\" = '60 50 820 640' ]" || fail "the window came back at $(drive rect)"
widths=$(grid | awk -F'\t' '$1 == "widths"' | cut -f2-)
[ "$widths" = "$wider" ] || fail "widths at the next start: $widths"
close_program

# A place off every screen (a monitor unplugged since) is not taken: the window is centred, in its size.
wine reg add "$options" /v WindowPlace /d 5000,5000,820,640 /f >/dev/null
start_program
read -r screen_w screen_h < <(drive screen)
centred="$((screen_w / 2 - 410)) $((screen_h / 2 - 320)) 820 640"
poll 5 bash -c "[ \"\$(wine '$driver' rect | tr -d '\r')\" = '$centred' ]" || fail "off screen: the window is at $(drive rect), not $centred"
close_program

[ "$failed" = 0 ] && echo "PASS"
exit $failed
