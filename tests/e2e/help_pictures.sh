#!/usr/bin/env bash
# Takes the pictures of the help page (docs/VantorellHelp.html) from the real vantorell.exe
# under Wine: a few entries in every state (on, switched off, confirmed, delayed) and every
# colour, then the window and the delay dialog, cut out of the screen with ImageMagick.
#
# The program runs from C:\Vantorell, so that the pictures show a path a user would have.
# The pictures go to OUTPUT_DIR; each is checked (size of its window, the colours of the
# rating are drawn) and compared with the copy kept in docs/help, which the package step
# uses when no fresh pictures are there. With VANTORELL_REFRESH_HELP=1 the fresh pictures
# replace the kept ones.
#
# Usage: help_pictures.sh VANTORELL_EXE VANTORELLC_EXE VTDRIVER_EXE OUTPUT_DIR WORK_DIR
# Needs WINEPREFIX (scripts/test.sh prepares one) and skips (exit 77) without it.
set -uo pipefail

if [ $# -ne 5 ]; then
  echo "usage: $0 VANTORELL_EXE VANTORELLC_EXE VTDRIVER_EXE OUTPUT_DIR WORK_DIR" >&2
  exit 2
fi
exe=$1 console_exe=$2 driver=$3 pictures=$4 out=$5
marker=""
pointer_size=8
scenario=help_pictures
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
# shellcheck source=e2e-lib.sh
. "$here/e2e-lib.sh"

e2e_require_prefix
scratch="$WINEPREFIX/drive_c/Vantorell"
if [ -e "$scratch" ]; then
  echo "FAIL: C:\\Vantorell already exists in this prefix" >&2
  scratch=""
  exit 1
fi
mkdir -p "$scratch" "$pictures"
desk="vt-help-$$-$RANDOM"
trap e2e_cleanup EXIT
wine reg add "HKCU\\Software\\Wine\\Explorer\\Desktops\\$desk" /v EnableShell /t REG_DWORD /d 1 /f >/dev/null ||
  { fail "cannot enable the shell"; exit 1; }
cp "$exe" "$scratch/vantorell.exe" && cp "$console_exe" "$scratch/vantorellc.exe" ||
  { fail "copy"; exit 1; }
win_exe='C:\Vantorell\vantorell.exe'

# ---- the scene: one entry of each colour, and each state
names=(AVG7_CC jusched msblast 'QuickTime Task' 'Tablet Helper' ctfmon32 Spotify AdobeARM)
approved='HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\StartupApproved\Run'
for n in "${names[@]}"; do
  cleanups+=("wine reg delete '$user_run' /v '$n' /f" "wine reg delete '$machine_run' /v '$n' /f /reg:64"
    "wine reg delete '$machine_run' /v '$n' /f /reg:32")
done
cleanups+=("wine reg delete '$approved' /v Spotify /f")
cleanups+=("wine reg delete '$user_run' /v Vantorell /f" "wine reg delete '$machine_run' /v Vantorell /f /reg:64"
  "wine reg delete 'HKCU\\Software\\Vantorell' /f" "wine reg delete '$options_key' /f /reg:64")
add() { wine reg add "$1" /v "$2" /d "$3" /f ${4:+"$4"} >/dev/null || fail "reg add $2"; }
add "$machine_run" AVG7_CC '"C:\Program Files\AVG\avgcc.exe" /startup' /reg:64
add "$machine_run" ctfmon32 'C:\Windows\ctfmon32.exe' /reg:64
add "$user_run" jusched 'C:\Program Files\Java\jre\bin\jusched.exe'
add "$user_run" msblast 'C:\WINDOWS\msblast.exe'
add "$user_run" 'QuickTime Task' '"C:\Program Files\QuickTime\qttask.exe" -atboottime'
add "$user_run" 'Tablet Helper' 'C:\Tools\tablet.exe -tray'
# A 32-bit program's machine-wide entry, and one that Task Manager switched off.
add "$machine_run" AdobeARM '"C:\Program Files (x86)\Common Files\Adobe\ARM\1.0\AdobeARM.exe"' /reg:32
add "$user_run" Spotify '"C:\Users\Public\Spotify\Spotify.exe" --autostart'
wine reg add "$approved" /v Spotify /t REG_BINARY /d 030000000000000000000000 /f >/dev/null || fail "reg add switch"
console() { (cd "$scratch" && timeout -k 2 20 wine vantorellc.exe "$@" >/dev/null) || fail "vantorellc $*"; }
console disable msblast
console confirm 'QuickTime Task'
console delay 30 jusched
[ "$failed" = 0 ] || exit 1

# ---- the window
(cd "$scratch" && exec wine explorer "/desktop=$desk,1024x768" vantorell.exe >/dev/null 2>&1) &
launcher_pid=$!
e2e_hold_desktop || exit 1
app_pid=$(drive --timeout 30 pid) || { fail "the program did not start"; exit 1; }
drive --timeout 20 wait-main visible 20 || { fail "the main window did not appear"; exit 1; }
rows() { drive grid | awk -F'\t' '$1 == "row"' | cut -f2-; }
row_of() { rows | awk -F'\t' -v n="$1" '$2 == n { print NR; found = 1; exit } END { exit !found }'; }
poll 10 row_of 'Tablet Helper' >/dev/null || { fail "the grid was not filled"; exit 1; }

# shot NAME [TITLE]: the window (the main one, or the visible one with that title) as NAME.png,
# once two pictures taken in a row are the same (the window has finished painting).
shot() {
  local rect x y w h previous="$pictures/.$1.previous.png" deadline=$((SECONDS + 10))
  rect=$(drive rect ${2:+"$2"} | tr -d '\r') || { fail "no window for $1"; return 1; }
  read -r x y w h <<<"$rect"
  rm -f "$previous"
  while :; do
    import -window root -crop "${w}x${h}+${x}+${y}" +repage "$pictures/$1.png" 2>/dev/null || { fail "import $1"; return 1; }
    [ -f "$previous" ] && [ "$(compare -metric AE "$pictures/$1.png" "$previous" null: 2>&1)" = 0 ] && break
    [ $SECONDS -ge $deadline ] && { fail "$1 kept changing"; break; }
    cp "$pictures/$1.png" "$previous"
    sleep 0.2
  done
  rm -f "$previous"
  [ "$(identify -format '%w %h' "$pictures/$1.png" 2>/dev/null)" = "$w $h" ] || fail "$1.png is not ${w}x${h}"
}
shot window

# Each rating colour is drawn: red, blue, green (as the grid's custom draw paints them).
for colour in '#FF0000' '#0000FF' '#008000'; do
  n=$(convert "$pictures/window.png" -fill black +opaque "$colour" -fill white -opaque "$colour" -format '%[fx:mean*w*h]' info: 2>/dev/null)
  [ "${n%.*}" -gt 20 ] 2>/dev/null || fail "window.png shows no text in $colour ($n pixels)"
done

# The delay dialog, opened by a double-click on a delay cell; answered with the delay the
# entry already has.
row=$(row_of jusched) && drive dblclick 4 "$row" || fail "cannot open the delay dialog"
if drive wait-window ' ' 10 >/dev/null; then
  shot delay ' '
  drive delay 30 >/dev/null || fail "cannot close the delay dialog"
else
  fail "the delay dialog did not open"
fi

drive titles-fit 96 >"$out/titles-96.txt" || fail "a column title is cut at 96 DPI: $(tr -d '\r' <"$out/titles-96.txt" | tr '\n' ' ')"

read -r _ _ width_96 _ <<<"$(drive rect 2>/dev/null || echo 0 0 0 0)"
minimise_to_tray='Minimize Vantorell instead of closing it (this allows Vantorell to monitor the programs)'
drive set-check "$minimise_to_tray" 0 >/dev/null
drive close && drive wait-exit "$app_pid" 10 || fail "the program did not end"
app_pid=""

# ---- at 150% and 200%: the titles fit; at 150% the window is pictured too. Wine takes the
# DPI from LogPixels when a program starts. A desktop of its own, large enough for the window.
dpi_key='HKCU\Control Panel\Desktop'
cleanups+=("wine reg delete '$dpi_key' /v LogPixels /f")
desk_96=$desk
for dpi in 144 192; do
  wine reg add "$dpi_key" /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null || { fail "LogPixels $dpi"; break; }
  desk="$desk_96-$dpi"
  wine reg add "HKCU\\Software\\Wine\\Explorer\\Desktops\\$desk" /v EnableShell /t REG_DWORD /d 1 /f >/dev/null
  (cd "$scratch" && exec wine explorer "/desktop=$desk,1280x1024" vantorell.exe >/dev/null 2>&1) &
  e2e_hold_desktop || break
  app_pid=$(drive --timeout 30 pid) || { fail "the program did not start at $dpi DPI"; app_pid=""; break; }
  drive --timeout 20 wait-main visible 20 || fail "the main window did not appear at $dpi DPI"
  poll 10 row_of 'Tablet Helper' >/dev/null || fail "the grid was not filled at $dpi DPI"
  drive titles-fit "$dpi" >"$out/titles-$dpi.txt" ||
    fail "a column title is cut at $dpi DPI: $(tr -d '\r' <"$out/titles-$dpi.txt" | tr '\n' ' ')"
  read -r _ _ width _ <<<"$(drive rect)"
  [ $((width * 96)) -ge $((width_96 * dpi * 9 / 10)) ] || fail "the window is not scaled to $dpi DPI: $width pixels wide"
  [ "$dpi" = 144 ] && shot "window-$dpi"
  drive set-check "$minimise_to_tray" 0 >/dev/null
  drive close && drive wait-exit "$app_pid" 10 || fail "the program did not end at $dpi DPI"
  app_pid=""
done
desk=$desk_96
wine reg delete "$dpi_key" /v LogPixels /f >/dev/null 2>&1
(cd "$scratch" && timeout -k 2 30 wine vantorell.exe -u >/dev/null 2>&1) || fail "vantorell.exe -u"

# ---- compared with the kept copies
for f in "$pictures"/*.png; do
  kept="$root/docs/help/$(basename "$f")"
  if [ "${VANTORELL_REFRESH_HELP:-0}" = 1 ]; then
    cp "$f" "$kept" && echo "refreshed docs/help/$(basename "$f")"
  elif [ ! -f "$kept" ]; then
    fail "docs/help/$(basename "$f") is missing (VANTORELL_REFRESH_HELP=1 writes it)"
  else
    differ=$(compare -metric AE "$f" "$kept" null: 2>&1)
    echo "$(basename "$f"): ${differ:-?} pixels differ from docs/help"
    [ "$(identify -format '%w %h' "$f")" = "$(identify -format '%w %h' "$kept")" ] ||
      echo "NOTE: the size of $(basename "$f") changed; VANTORELL_REFRESH_HELP=1 refreshes docs/help"
  fi
done
