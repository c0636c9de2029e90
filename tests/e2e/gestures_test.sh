#!/usr/bin/env bash
# No gesture lost to a refill: double-clicks on the Enabled cells of four rows, made as a person
# makes them (the pointer onto the grid, the row found by its name, the double-click), while the
# grid is refilled around them: 120 other entries whose files are being identified (the Publisher
# column filling in), and a value that comes and goes above the rows every few tenths of a second
# (each a pass of the monitor that moves the rows below it). Every double-click must switch its
# own row, and no other.
#
# Usage: gestures_test.sh VANTORELL_EXE VTDRIVER_EXE VTMARKER_EXE POINTER_SIZE OUTPUT_DIR
# Needs WINEPREFIX (scripts/test.sh prepares one) and skips (exit 77) without it.
set -uo pipefail

exe=$1 driver=$2 marker=$3 pointer_size=$4 out=$5
scenario=gestures
# shellcheck source=e2e-lib.sh
. "$(dirname "$0")/e2e-lib.sh"
e2e_setup

rounds=${VT_GESTURE_ROUNDS:-16}
others=120
aims=("Aim 1" "Aim 2" "Aim 3" "Aim 4")
noise='A Noise'

# ---- the scene, in one regedit import: every entry names a file of its own
mkdir -p "$scratch/files"
reg_file="$scratch/scene.reg"
reg_path() { printf '%s' "$win_scratch\\files\\$1.exe" | sed 's/\\/\\\\/g'; }
{
  printf 'Windows Registry Editor Version 5.00\r\n\r\n'
  printf '[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run]\r\n'
  for i in $(seq -w 1 "$others"); do
    cp "$marker" "$scratch/files/g$i.exe"
    printf '"Gest %s"="\\"%s\\""\r\n' "$i" "$(reg_path "g$i")"
  done
  for n in "${aims[@]}"; do
    cp "$marker" "$scratch/files/${n// /}.exe"
    printf '"%s"="\\"%s\\""\r\n' "$n" "$(reg_path "${n// /}")"
  done
} >"$reg_file"
for i in $(seq -w 1 "$others"); do cleanups+=("wine reg delete '$user_run' /v 'Gest $i' /f"); done
for n in "${aims[@]}" "$noise"; do cleanups+=("wine reg delete '$user_run' /v '$n' /f"); done
wine regedit /S "$(winepath -w "$reg_file" 2>/dev/null | tr -d '\r')" || { fail "regedit import"; exit 1; }

e2e_start
drive --timeout 30 wait-main visible 30 || { fail "the main window did not appear"; exit 1; }
# No report box for the noise: a pass refills the grid all the same.
drive set-check 'Warn me when a new program adds itself to the list' 0 >/dev/null || fail "cannot switch the warning off"

# The value above the rows, coming and going until the end.
# It pauses while the test reads the whole key: an enumeration of a key whose values come and
# go meanwhile may see a value twice or miss one.
pause="$scratch/pause"
(
  while :; do
    [ -e "$pause" ] && { sleep 0.1; continue; }
    wine reg add "$user_run" /v "$noise" /d 'C:\Noise\noise.exe' /f >/dev/null 2>&1
    sleep 0.2
    wine reg delete "$user_run" /v "$noise" /f >/dev/null 2>&1
    sleep 0.2
  done
) &
noise_pid=$!
cleanups+=("kill $noise_pid")

# Which of the names are in the Run key now; `still` reads it with the noise paused.
present() { wine reg query "$user_run" 2>/dev/null | tr -d '\r'; }
still() {
  touch "$pause"
  sleep 0.5 # a write under way ends
  present
  rm -f "$pause"
}
declare -A on
for n in "${aims[@]}"; do on[$n]=1; done
for round in $(seq 1 "$rounds"); do
  target=${aims[$(((round - 1) % ${#aims[@]}))]}
  drive dblclick-name 0 "$target" >/dev/null || { fail "round $round: cannot double-click $target"; break; }
  if [ "${on[$target]}" = 1 ]; then on[$target]=0; else on[$target]=1; fi
  # Until the key shows the change (or 5 s), then every name as it must be.
  deadline=$((SECONDS + 5))
  while :; do
    run=$(present)
    grep -q "^ *$target  *REG_SZ" <<<"$run" && now=1 || now=0
    [ "$now" = "${on[$target]}" ] && break
    [ $SECONDS -ge $deadline ] && { fail "round $round: $target was not switched (still $now)"; break 2; }
    sleep 0.2
  done
  run=$(still)
  for n in "${aims[@]}"; do
    grep -q "^ *$n  *REG_SZ" <<<"$run" && now=1 || now=0
    [ "$now" = "${on[$n]}" ] || fail "round $round: a double-click on $target switched $n"
  done
  left=$(grep -c '^ *Gest [0-9]*  *REG_SZ' <<<"$run")
  [ "$left" = "$others" ] || fail "round $round: a double-click on $target switched another entry ($left of $others left)"
  [ "$failed" = 0 ] || break
done
kill "$noise_pid" 2>/dev/null
echo "gestures: $round rounds of double-clicks while the grid was refilled" >&2

# Everything back on, so the cleanup finds every value where it was.
for n in "${aims[@]}"; do
  [ "${on[$n]}" = 1 ] || drive dblclick-name 0 "$n" >/dev/null
done
exit 0
