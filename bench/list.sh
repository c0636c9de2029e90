#!/usr/bin/env bash
# The cost of listing, side by side with a plain enumeration: the user's Run
# key filled with 1,000 and then 10,000 values, each naming a file that does
# not exist, "vantorellc list --json" (identification included) against
# enumerate_run.exe (bench/floor/EnumerateRun.cpp: RegEnumValueW and one write
# of the names and data), each run the same number of times, alternating,
# under Wine. Prints the median of each and the ratio; the goal is a ratio of
# at most 1.5. Both include starting the process.
#
# Usage: bench/list.sh [--runs N] [--counts "1000 10000"] [BUILD_DIR]
#   BUILD_DIR  default build/win64 (a Release build with vantorellc and enumerate_run)
#   --runs N   runs of each command for each count (default 11)
# Uses WINEPREFIX when it names a prepared prefix, else makes a throw-away one.
# It writes the values into that prefix's HKCU Run key and removes them again.
set -uo pipefail
cd "$(dirname "$0")/.."

runs=11 counts="1000 10000" build=build/win64
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs=$2; shift ;;
    --counts) counts=$2; shift ;;
    *) build=$1 ;;
  esac
  shift
done
for f in vantorellc.exe bench/enumerate_run.exe; do
  [ -f "$build/$f" ] || { echo "list.sh: $build/$f is missing (build the win64 preset first)" >&2; exit 1; }
done

# shellcheck source=run-key-lib.sh
. bench/run-key-lib.sh

# A folder of its own: no "StartupList.txt" or cache of an earlier run.
cp "$build/vantorellc.exe" "$build/bench/enumerate_run.exe" "$scratch/"

status=0
for count in $counts; do
  {
    printf 'Windows Registry Editor Version 5.00\r\n\r\n[%s]\r\n' "$run_key"
    for i in $(seq 1 "$count"); do printf '"Listed %05d"="C:\\\\Missing\\\\tool%05d.exe /background"\r\n' "$i" "$i"; done
  } >"$scratch/add.reg"
  {
    printf 'Windows Registry Editor Version 5.00\r\n\r\n[%s]\r\n' "$run_key"
    for i in $(seq 1 "$count"); do printf '"Listed %05d"=-\r\n' "$i"; done
  } >"$scratch/remove.reg"
  wine regedit /s "$(winepath -w "$scratch/add.reg")" >/dev/null 2>&1
  listed=$(wine "$scratch/vantorellc.exe" list --json | grep -c '"name": "Listed ')
  enumerated=$(wine "$scratch/enumerate_run.exe" | grep -c '^Listed ')
  if [ "$listed" != "$count" ] || [ "$enumerated" != "$count" ]; then
    echo "list.sh: $count values written, $listed listed, $enumerated enumerated" >&2
    exit 1
  fi
  list_ms=() floor_ms=()
  for _ in $(seq "$runs"); do
    list_ms+=("$(time_one vantorellc.exe list --json)")
    floor_ms+=("$(time_one enumerate_run.exe)")
  done
  list=$(printf '%s\n' "${list_ms[@]}" | median)
  floor=$(printf '%s\n' "${floor_ms[@]}" | median)
  ratio=$(awk -v l="$list" -v f="$floor" 'BEGIN { printf "%.2f", l / f }')
  printf '%6d values: list --json median %5s ms, plain enumeration median %5s ms, ratio %s (goal: at most 1.5)\n' \
    "$count" "$list" "$floor" "$ratio"
  awk -v r="$ratio" 'BEGIN { exit !(r <= 1.5) }' || status=1
  remove_values
done
exit $status
