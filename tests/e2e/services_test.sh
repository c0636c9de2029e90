#!/usr/bin/env bash
# Services that start with Windows, on the real programs under Wine's Service
# Control Manager: services made as an installer makes them are listed when
# they start automatically (own and shared, with the shared one's library as
# its file); vantorellc switches one off and on with its start type given
# back, refuses confirm, delay and deleting a service that has its file, and
# deletes a dead one. In the window, a new automatic service is reported
# within a second, and one that Vantorell switched off and that an updater sets
# back to automatic is disabled again.
#
# Usage: services_test.sh VANTORELL_EXE VANTORELLC_EXE VTDRIVER_EXE POINTER_SIZE OUTPUT_DIR
# Needs WINEPREFIX (scripts/test.sh prepares one) and skips (exit 77) without it.
set -uo pipefail

exe=$1 console=$2 driver=$3 pointer_size=$4 out=$5
marker=$console # e2e_setup copies it; unused here
scenario=services
# shellcheck source=e2e-lib.sh
. "$(dirname "$0")/e2e-lib.sh"
e2e_setup
cp "$console" "$scratch/vantorellc.exe" || { fail "copy vantorellc"; exit 1; }

limit_ms=${VT_MONITOR_LIMIT_MS:-1000}
tag="Vt$pointer_size$$"
live="${tag}Updater" shared="${tag}Shared" demand="${tag}Demand" dead="${tag}Dead" fresh="${tag}New"
for name in "$live" "$shared" "$demand" "$dead" "$fresh"; do
  cleanups+=("wine '$driver' service-delete '$name'")
done
cleanups+=("wine reg delete '$options_key' /f $reg_view")
wine reg delete "$options_key" /f $reg_view >/dev/null 2>&1

vc() { (cd "$scratch" && wine vantorellc.exe "$@" 2>"$scratch/err.txt" | tr -d '\r'); }
start_type() { wine "$driver" service-start "$1" 2>/dev/null | tr -d '\r'; }
# The JSON row of a name (one row to a line).
row_of() { grep -F "\"name\": \"$1\"" "$scratch/list.json"; }

service_file="$win_scratch\\vantorellc.exe"
wine "$driver" service "$live" auto "\"$service_file\" -service" || { fail "scene: $live"; exit 1; }
wine "$driver" service "$shared" auto 'C:\windows\system32\svchost.exe -k vtgroup' "$service_file" ||
  fail "scene: $shared"
wine "$driver" service "$demand" demand "\"$service_file\"" || fail "scene: $demand"
wine "$driver" service "$dead" auto 'C:\Nowhere\dead.exe' || fail "scene: $dead"

# ---- the listing
vc list --json >"$scratch/list.json" || { fail "list: $(cat "$scratch/err.txt")"; exit 1; }
for name in "$live" "$shared" "$dead"; do
  row=$(row_of "$name")
  case "$row" in *'"location": "lsvc"'*'"displayName": "'"$name"' Display"'*) ;; *) fail "$name not listed: $row" ;; esac
done
[ -z "$(row_of "$demand")" ] || fail "a service started on demand is listed"
case "$(row_of "$shared")" in
  *'"file": "'*'vantorellc.exe"'*) ;; # its library, not svchost.exe
  *) fail "the shared service's file is not its library: $(row_of "$shared")" ;;
esac

# ---- off and on, the start type given back
vc disable "$live" --location lsvc >/dev/null || fail "disable: $(cat "$scratch/err.txt")"
[ "$(start_type "$live")" = 4 ] || fail "switched off, the start type is $(start_type "$live")"
vc list --json >"$scratch/list.json"
case "$(row_of "$live")" in *'"state": "0"'*) ;; *) fail "not shown as off: $(row_of "$live")" ;; esac
vc enable "$live" --location lsvc >/dev/null || fail "enable: $(cat "$scratch/err.txt")"
[ "$(start_type "$live")" = 2 ] || fail "switched on, the start type is $(start_type "$live")"

# ---- refused, and nothing changed
vc delay 30 "$live" --location lsvc >/dev/null && fail "a delay was not refused"
grep -q 'before anyone logs on' "$scratch/err.txt" || fail "delay refusal: $(cat "$scratch/err.txt")"
vc delete "$live" --location lsvc >/dev/null && fail "deleting a service that has its file was not refused"
grep -q 'still has its file' "$scratch/err.txt" || fail "delete refusal: $(cat "$scratch/err.txt")"
[ "$(start_type "$live")" = 2 ] || fail "a refusal changed the start type"

# ---- a dead service is deleted
vc delete "$dead" --location lsvc >/dev/null || fail "delete of a dead service: $(cat "$scratch/err.txt")"
start_type "$dead" >/dev/null && fail "the dead service is still there"

# ---- watched: in the window, with the warning and AutoKill on (their defaults)
vc disable "$live" --location lsvc >/dev/null || fail "disable before the window"
e2e_start
drive --timeout 20 wait-main visible 20 || { fail "the main window did not appear"; exit 1; }
report='New startup program!'

start=$(date +%s%3N)
wine "$driver" service "$fresh" auto "\"$service_file\"" || fail "scene: $fresh"
text=$(drive --timeout 5 box-text "$report") || fail "a new automatic service was not reported"
took=$(($(date +%s%3N) - start))
echo "new service: reported after $took ms (a driver start included)" >&2
[ "$took" -le $((limit_ms + 500)) ] || fail "new service reported after $took ms"
case "$text" in *"$fresh"*) ;; *) fail "report text: $text" ;; esac
drive answer "$report" OK >/dev/null || fail "cannot close the report"

took=$(drive --timeout 5 time-service-comeback "$live") || fail "the service's comeback was not disabled again"
echo "service comeback: disabled again after ${took:-?} ms" >&2
[ "${took:-99999}" -le "$limit_ms" ] || fail "service comeback disabled after ${took:-?} ms"
! drive --timeout 0.6 box-text "$report" >/dev/null 2>&1 || fail "the comeback was reported as new"

exit 0
