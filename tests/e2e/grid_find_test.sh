#!/usr/bin/env bash
# End-to-end test of finding rows in the main window's grid, driven from
# outside as a person would: typing into the filter box narrows the rows, a
# refill by the monitor keeps the filter, Esc brings every row back; a click
# on a column's title sorts by it, a second click reverses the order, a third
# goes back to the order as listed, the title shows the arrow, and the sort is
# there again after the program was started anew.
#
# Usage: grid_find_test.sh VANTORELL_EXE VTDRIVER_EXE OUTPUT_DIR
# Needs WINEPREFIX (a prepared prefix, as scripts/test.sh provides) and skips
# (exit 77) without one. Every wait has a deadline; on failure the program is
# ended and a screenshot is saved in OUTPUT_DIR.
set -uo pipefail

exe=$1 driver=$2 out=$3
here=$(cd "$(dirname "$0")" && pwd)

if [ -z "${WINEPREFIX:-}" ] || [ ! -d "$WINEPREFIX" ]; then
  echo "SKIP: no prepared Wine prefix in WINEPREFIX (scripts/test.sh provides one)"
  exit 77
fi
# shellcheck source=../../scripts/wine-env.sh
. "$here/../../scripts/wine-env.sh"
wine_env_display || exit 1

view=/reg:64
user_run='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
machine_run='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
options='HKCU\Software\Vantorell'
report='New startup program!'
minim='Minimize Vantorell instead of closing it (this allows Vantorell to monitor the programs)'

scratch=$(mktemp -d "$out/e2e_grid_find.XXXXXX")
app_pid=""
failed=0

drive() { wine "$driver" "$@"; }
fail() {
  echo "FAIL: $*" >&2
  failed=1
}

cleanup() {
  if [ "$failed" = 1 ]; then
    import -window root "$out/e2e_grid_find-failure.png" 2>/dev/null &&
      echo "screenshot: $out/e2e_grid_find-failure.png" >&2
  fi
  if [ -n "$app_pid" ] && kill -0 "$app_pid" 2>/dev/null; then kill "$app_pid" 2>/dev/null; fi
  for value in 'Acme Updater' 'Acme Helper' 'Beta Sync' Vantorell; do
    wine reg delete "$user_run" /v "$value" /f >/dev/null 2>&1
  done
  wine reg delete "$machine_run" /v 'Zzz Agent' /f $view >/dev/null 2>&1
  wine reg delete "$machine_run" /v Vantorell /f $view >/dev/null 2>&1
  wine reg delete 'HKLM\Software\Vantorell' /f $view >/dev/null 2>&1
  wine reg delete "$options" /f >/dev/null 2>&1
  rm -rf "$scratch"
  if [ -n "${_vt_xvfb_pid:-}" ]; then kill "$_vt_xvfb_pid" 2>/dev/null; fi
}
trap cleanup EXIT

start_program() {
  (cd "$scratch" && exec wine ./vantorell.exe >/dev/null 2>&1) &
  app_pid=$!
  drive wait-window Vantorell 20 || { fail "the main window did not appear"; exit 1; }
}
close_program() {
  drive set-check "$minim" 0 || fail "cannot switch Minim off"
  drive close || fail "the window did not close"
  local deadline=$((SECONDS + 10))
  while kill -0 "$app_pid" 2>/dev/null && [ $SECONDS -lt $deadline ]; do sleep 0.1; done
  kill -0 "$app_pid" 2>/dev/null && fail "the program did not end"
}

# The grid's names, one a line; its sort arrows, tab-separated per column.
names() { drive grid | tr -d '\r' | awk -F'\t' '$1 == "row" { print $3 }'; }
arrows() { drive grid | tr -d '\r' | awk -F'\t' '$1 == "arrows"' | cut -f2-; }
# Waits up to $1 seconds for the names to be $2 (one a line).
wait_names() {
  local deadline=$((SECONDS + $1))
  until [ "$(names)" = "$2" ] || [ $SECONDS -ge $deadline ]; do sleep 0.2; done
  [ "$(names)" = "$2" ]
}

# ---- the scene
if drive --timeout 0 wait-window Vantorell 0 2>/dev/null; then
  fail "a Vantorell window is already open in this prefix"
  exit 1
fi
# The names and the commands are in opposite orders, so that a sort by the
# command is not the order as listed (by name).
wine reg add "$user_run" /v 'Acme Updater' /d 'C:\Zzz\updater.exe' /f >/dev/null &&
  wine reg add "$user_run" /v 'Beta Sync' /d 'C:\Beta\sync.exe /tray' /f >/dev/null &&
  wine reg add "$machine_run" /v 'Zzz Agent' /d 'C:\Acme\agent.exe' /f $view >/dev/null || { fail "reg add"; exit 1; }
cp "$exe" "$scratch/vantorell.exe"
start_program

[ "$(drive check-state "Hide Windows' own entries" | tr -d '\r')" = 1 ] || fail "\"Hide Windows' own entries\" is not checked at first"
listed=$(names)
count=$(printf '%s\n' "$listed" | grep -c .)
[ "$count" -ge 5 ] || fail "only $count rows at first"

# ---- the filter: as typed, without regard to case, in the name, the command or the place
drive filter-type aCmE || fail "typing into the filter box"
wait_names 5 $'Acme Updater\nZzz Agent' || fail "filter acme (a name, a command): $(names | paste -sd,)"
drive filter-escape || fail "Esc in the filter box"
wait_names 5 "$listed" || fail "after Esc: $(names | paste -sd,)"
drive filter-type 'sync.exe /t' || fail "typing into the filter box"
wait_names 5 'Beta Sync' || fail "filter by the command: $(names | paste -sd,)"
drive filter-escape || fail "Esc in the filter box"
drive filter-type 'hkey_local_machine\software\microsoft\windows\currentversion\run' || fail "typing into the filter box"
sleep 0.5
by_place=$(names)
printf '%s\n' "$by_place" | grep -qx 'Zzz Agent' && ! printf '%s\n' "$by_place" | grep -qx -e 'Acme Updater' -e 'Beta Sync' ||
  fail "filter by the place: $(printf '%s\n' "$by_place" | paste -sd,)"
drive filter-escape || fail "Esc in the filter box"

# From the keyboard: Ctrl+F reaches the box wherever the focus was, Esc empties it.
window=$(xdotool search --name '^Vantorell$' | head -1)
xdotool windowfocus "$window" 2>/dev/null
drive click 1 1 || fail "click on a cell"
xdotool key --window "$window" ctrl+f
deadline=$((SECONDS + 5))
until [ "$(drive filter-state | tr -d '\r' | tail -1)" = focused ] || [ $SECONDS -ge $deadline ]; do sleep 0.1; done
[ "$(drive filter-state | tr -d '\r' | tail -1)" = focused ] || fail "Ctrl+F did not reach the filter box"
xdotool type --delay 20 'beta s'
wait_names 5 'Beta Sync' || fail "typed from the keyboard: $(names | paste -sd,)"
xdotool key Escape
wait_names 5 "$listed" || fail "after the Esc key: $(names | paste -sd,)"

# A new program: the monitor reports it and fills the grid again; the filter stays.
drive filter-type acme || fail "typing into the filter box"
wait_names 5 $'Acme Updater\nZzz Agent' || fail "filter acme: $(names | paste -sd,)"
wine reg add "$user_run" /v 'Acme Helper' /d 'C:\Acme\helper.exe' /f >/dev/null || fail "reg add"
drive --timeout 20 answer "$report" OK || fail "no report of the new program"
wait_names 10 $'Acme Helper\nAcme Updater\nZzz Agent' || fail "after the monitor's refill: $(names | paste -sd,)"
[ "$(drive filter-state | tr -d '\r' | head -1)" = acme ] || fail "the filter box lost its text"
drive filter-escape || fail "Esc in the filter box"
listed=$(names)
[ "$(printf '%s\n' "$listed" | grep -c .)" = $((count + 1)) ] || fail "after Esc: $(names | paste -sd,)"

# ---- the sort: a click on "Run command", then again, then a third time
no_arrows=$(arrows)
[ -z "$(printf '%s' "$no_arrows" | tr -d '\t')" ] || fail "an arrow before any sort: $no_arrows"
# The click is posted: the arrow in the command's title (column 5) says it was taken.
click_title() {  # the arrow expected after the click: up, down or nothing
  drive click 5 0 || fail "click on the command's title"
  local deadline=$((SECONDS + 5))
  until [ "$(arrows | cut -f6)" = "$1" ] || [ $SECONDS -ge $deadline ]; do sleep 0.1; done
  [ "$(arrows | cut -f6)" = "$1" ] || fail "the command's title shows '$(arrows | cut -f6)', not '$1'"
}
click_title up
up=$(names)
[ "$up" != "$listed" ] || fail "sorted up is as listed"
[ "$(printf '%s\n' "$up" | head -2 | paste -sd,)" = 'Zzz Agent,Acme Helper' ] ||
  fail "sorted up by the command: $(printf '%s\n' "$up" | paste -sd,)"
click_title down
down=$(names)
[ "$down" = "$(printf '%s\n' "$up" | tac)" ] || fail "sorted down is not sorted up reversed: $(printf '%s\n' "$down" | paste -sd,)"
click_title ''
[ "$(names)" = "$listed" ] || fail "the third click is not as listed: $(names | paste -sd,)"
[ "$(arrows)" = "$no_arrows" ] || fail "an arrow as listed: $(arrows)"

# Sorted and filtered at once.
click_title up
click_title down
drive filter-type acme || fail "typing into the filter box"
wait_names 5 $'Acme Updater\nAcme Helper\nZzz Agent' || fail "filtered and sorted down: $(names | paste -sd,)"
drive filter-escape || fail "Esc in the filter box"

# ---- the sort is there again after a new start
close_program
[ "$(wine reg query "$options" /v SortColumn 2>/dev/null | tr -d '\r' | awk '/SortColumn/ { print $3 }')" = 0x5 ] ||
  fail "SortColumn: $(wine reg query "$options" /v SortColumn 2>&1 | tr -d '\r')"
[ "$(wine reg query "$options" /v SortDirection 2>/dev/null | tr -d '\r' | awk '/SortDirection/ { print $3 }')" = 0x2 ] ||
  fail "SortDirection: $(wine reg query "$options" /v SortDirection 2>&1 | tr -d '\r')"
start_program
[ "$(arrows | cut -f6)" = down ] || fail "after a new start, no down arrow in the command's title: $(arrows)"
[ "$(names | tail -1)" = 'Zzz Agent' ] || fail "after a new start, the last row: $(names | tail -1)"
close_program

[ "$failed" = 0 ] && echo "PASS"
exit $failed
