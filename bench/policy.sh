#!/usr/bin/env bash
# The cost of checking a policy, side by side with listing: on 1,000 entries
# (800 Run values and 200 records), "vantorellc apply POLICY --check --json"
# with a 100-rule policy against "vantorellc list --json", each run the same
# number of times, alternating, under Wine. Prints the median of each and the
# ratio; the goal is a ratio of at most 1.2.
#
# Usage: bench/policy.sh [--runs N] [VANTORELLC_EXE]
#   VANTORELLC_EXE  default build/win64/vantorellc.exe (a Release build)
#   --runs N        runs of each command (default 15)
# Uses WINEPREFIX when it names a prepared prefix, else makes a throw-away one.
# It writes 800 values into that prefix's HKCU Run key and removes them again.
set -uo pipefail
cd "$(dirname "$0")/.."

runs=15 exe=build/win64/vantorellc.exe
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs=$2; shift ;;
    *) exe=$1 ;;
  esac
  shift
done
[ -f "$exe" ] || { echo "policy.sh: $exe is missing (build the win64 preset first)" >&2; exit 1; }

# shellcheck source=run-key-lib.sh
. bench/run-key-lib.sh

cp "$exe" "$scratch/vantorellc.exe"
vendors=(Acme Globex Initech Umbrella Hooli Vandelay Stark Wayne Tyrell Cyberdyne)
{
  printf 'Windows Registry Editor Version 5.00\r\n\r\n[%s]\r\n' "$run_key"
  for i in $(seq 0 799); do
    printf '"%s Tool %03d"="C:\\\\Program Files\\\\%s\\\\tool%03d.exe /background"\r\n' \
      "${vendors[i % 10]}" "$i" "${vendors[i % 10]}" "$i"
  done
} >"$scratch/add.reg"
{
  printf 'Windows Registry Editor Version 5.00\r\n\r\n[%s]\r\n' "$run_key"
  for i in $(seq 0 799); do printf '"%s Tool %03d"=-\r\n' "${vendors[i % 10]}" "$i"; done
} >"$scratch/remove.reg"
wine regedit /s "$(winepath -w "$scratch/add.reg")" >/dev/null 2>&1
for i in $(seq 0 199); do
  printf '%s Helper %03d;crun;C:\\Program Files\\%s\\helper%03d.exe;;0;%d\r\n' \
    "${vendors[i % 10]}" "$i" "${vendors[i % 10]}" "$i" $((i % 3 * 30))
done >"$scratch/StartupList.txt"

# 100 rules: exact names, wildcards, places, and states of every kind.
{
  echo '{"version": 1, "entries": ['
  for i in $(seq 0 99); do
    v=${vendors[i % 10]}
    case $((i % 5)) in
      0) rule="{\"name\": \"$v Tool $(printf %03d $((i * 7)))\", \"location\": \"crun\", \"state\": \"enabled\"}" ;;
      1) rule="{\"name\": \"$v Helper 0?$((i % 10))\", \"state\": \"enabled\", \"delay\": 30}" ;;
      2) rule="{\"name\": \"$v Tool 7*\", \"state\": \"disabled\"}" ;;
      3) rule="{\"name\": \"Absent $i\", \"state\": \"deleted\"}" ;;
      4) rule="{\"name\": \"*helper 1$((i % 10))*\", \"location\": \"crun\", \"state\": \"enabled\", \"confirm\": false}" ;;
    esac
    [ "$i" -lt 99 ] && rule="$rule,"
    echo "  $rule"
  done
  echo '], "unlisted": "report"}'
} >"$scratch/policy.json"

entries=$(wine "$scratch/vantorellc.exe" list --json | grep -c '"position"')
wine "$scratch/vantorellc.exe" apply "$(winepath -w "$scratch/policy.json")" --check --json >"$scratch/check.json" 2>&1
code=$?
[ "$code" = 0 ] || [ "$code" = 1 ] || { echo "policy.sh: the check failed ($code)" >&2; cat "$scratch/check.json" >&2; exit 1; }
drift=$(grep -c '"result": "would change"' "$scratch/check.json")
echo "entries: $entries, rules: 100, entries to change: $drift, runs: $runs of each"

time_one vantorellc.exe list --json >/dev/null  # warm the caches once
list_ms=() check_ms=()
for _ in $(seq "$runs"); do
  list_ms+=("$(time_one vantorellc.exe list --json)")
  check_ms+=("$(time_one vantorellc.exe apply "$(winepath -w "$scratch/policy.json")" --check --json)")
done
list=$(printf '%s\n' "${list_ms[@]}" | median)
check=$(printf '%s\n' "${check_ms[@]}" | median)
ratio=$(awk -v c="$check" -v l="$list" 'BEGIN { printf "%.2f", c / l }')
echo "list --json:             median $list ms"
echo "apply --check --json:    median $check ms"
echo "ratio: $ratio (goal: at most 1.2)"
awk -v r="$ratio" 'BEGIN { exit !(r <= 1.2) }'
