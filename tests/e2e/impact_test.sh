#!/usr/bin/env bash
# What each entry costs at logon, on the real programs under Wine: the
# program started as at logon (-b) measures the programs of the Run key, which
# the test starts as Windows would, and the delayed one it starts itself; then
# "vantorellc list --json" says high for the two that burn about 1.5 s of CPU,
# low for the quiet one, and gives the logon as a whole once. The window is
# made short for the test (MeasureSeconds).
#
# Usage: impact_test.sh VANTORELL_EXE VANTORELLC_EXE VTDRIVER_EXE VTMARKER_EXE POINTER_SIZE OUTPUT_DIR
# Needs WINEPREFIX (scripts/test.sh prepares one) and skips (exit 77) without it.
set -uo pipefail

exe=$1 console=$2 driver=$3 marker=$4 pointer_size=$5 out=$6
scenario=impact
# shellcheck source=e2e-lib.sh
. "$(dirname "$0")/e2e-lib.sh"
e2e_setup
# The programs stand where a user's would, so that the picture shows no path of this machine.
tools="$WINEPREFIX/drive_c/Tools" win_tools='C:\Tools'
[ -e "$tools" ] && { fail "C:\Tools is there already"; exit 1; }
mkdir -p "$tools" && cleanups+=("rm -rf '$tools'")
for program in burner quiet delayed; do cp "$marker" "$tools/$program.exe" || { fail "copy $program"; exit 1; }; done
cp "$console" "$scratch/vantorellc.exe" || { fail "copy vantorellc"; exit 1; }

window=20
note="$win_tools\\marker.txt"
burn="--burn=1500 --stay=6000" # it stays, so that its last figures are seen
wine reg add "$user_options_key" /v MeasureSeconds /t REG_DWORD /d "$window" /f >/dev/null || fail "scene: options"
cleanups+=("wine reg delete '$user_run' /v VtBurner /f" "wine reg delete '$user_run' /v VtQuiet /f"
  "wine reg delete '$machine_run' /v Vantorell /f $reg_view" "wine reg delete '$options_key' /f $reg_view")
wine reg add "$user_run" /v VtBurner /d "\"$win_tools\\burner.exe\" $note burner $burn" /f >/dev/null || fail "scene"
wine reg add "$user_run" /v VtQuiet /d "\"$win_tools\\quiet.exe\" $note quiet --stay=6000" /f >/dev/null || fail "scene"
printf '%s\r\n' "VtDelayed;crun;\"$win_tools\\delayed.exe\" $note delayed $burn;;0;2" >"$scratch/StartupList.txt"

e2e_start -b
# As Windows starts the Run key's programs at logon, beside the program.
# shellcheck disable=SC2086
drive launch "$win_tools\\burner.exe" "$note" burner $burn >/dev/null || fail "start burner"
drive launch "$win_tools\\quiet.exe" "$note" quiet --stay=6000 >/dev/null || fail "start quiet"

row_of() { grep -F "\"name\": \"$1\"" "$scratch/list.json"; }
measured() {
  (cd "$scratch" && wine vantorellc.exe list --json 2>/dev/null | tr -d '\r' >"$scratch/list.json")
  ! row_of VtBurner | grep -q '"level": "unmeasured"' && row_of VtBurner | grep -q '"impact"'
}
poll $((window + 30)) measured || fail "not measured: $(row_of VtBurner)"
level_of() { row_of "$1" | sed -n 's/.*"impact": {"level": "\([a-z]*\)".*/\1/p'; }
cpu_of() { row_of "$1" | sed -n 's/.*"impact": {[^}]*"cpuMs": \([0-9]*\).*/\1/p'; }
for name in VtBurner VtDelayed; do
  [ "$(level_of $name)" = high ] || fail "$name: $(row_of $name)"
  cpu=$(cpu_of $name)
  # The right order of magnitude: about 1.5 s.
  [ "${cpu:-0}" -ge 1000 ] && [ "${cpu:-0}" -le 5000 ] || fail "$name: $cpu ms of CPU"
  echo "$name: $(level_of $name), $cpu ms of CPU" >&2
done
[ "$(level_of VtQuiet)" = low ] || fail "VtQuiet: $(row_of VtQuiet)"
grep -q '"lastLogon": {' "$scratch/list.json" || fail "no lastLogon: $(tail -2 "$scratch/list.json")"

# The window, out of the tray and scrolled to the Startup impact column, as the help page shows
# it (docs/help/impact.png, written again with VANTORELL_REFRESH_HELP=1).
# Its own logon entry names the test's folder: out of the picture.
wine reg delete "$user_run" /v Vantorell /f >/dev/null 2>&1
wine reg delete "$machine_run" /v Vantorell /f $reg_view >/dev/null 2>&1
if drive tray show >/dev/null && drive --timeout 10 wait-main visible 10 >/dev/null; then
  drive scroll 600 >/dev/null
  sleep 1
  if read -r x y w h < <(drive rect | tr -d '\r'); then
    import -window root -crop "${w}x${h}+${x}+${y}" +repage "$out/impact.png" 2>/dev/null || fail "no picture"
    [ "${VANTORELL_REFRESH_HELP:-0}" = 1 ] && [ "$pointer_size" = 8 ] &&
      cp "$out/impact.png" "$(dirname "$0")/../../docs/help/impact.png" && echo "refreshed docs/help/impact.png" >&2
  fi
else
  fail "the window did not come out of the tray"
fi
[ -s "$scratch/StartupImpact.txt" ] || [ -n "$(find "$WINEPREFIX/drive_c/users" -name StartupImpact.txt 2>/dev/null)" ] ||
  fail "no history file"
exit $failed
