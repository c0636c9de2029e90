#!/usr/bin/env bash
# Both registry views and Windows' own startup switches under Wine, through
# the real vantorellc of either build:
#   views_switches_test.sh PATH/TO/vantorellc.exe
# A value written to the 32-bit view (reg /reg:32) and one written to the
# 64-bit view are both listed, with their own codes; switching each off and on
# puts it back into its own view with its data; a StartupApproved value marks
# an entry as switched off by Windows, and enabling clears it to the byte.
# Needs WINEPREFIX (a prepared prefix); skips (77) without one.
set -euo pipefail

exe=${1:?usage: views_switches_test.sh PATH/TO/vantorellc.exe}
if [ -z "${WINEPREFIX:-}" ] || [ ! -d "$WINEPREFIX" ]; then
  echo "views_switches: WINEPREFIX is not set to a prepared prefix; skipped" >&2
  exit 77
fi
export WINEDEBUG=-all LC_ALL=C.UTF-8

lrun='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
crun='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
approved='HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\StartupApproved\Run'
work=$(mktemp -d)
cleanup() {
  wine reg delete "$lrun" /v VtThirtyTwo /f /reg:32 >/dev/null 2>&1 || true
  wine reg delete "$lrun" /v VtSixtyFour /f /reg:64 >/dev/null 2>&1 || true
  wine reg delete "$crun" /v VtTaskOff /f >/dev/null 2>&1 || true
  wine reg delete "$approved" /v VtTaskOff /f >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "views_switches: FAIL: $*" >&2
  cat "$work/out.lf" >&2 2>/dev/null || true
  exit 1
}

cp "$exe" "$work/vantorellc.exe"
vc() { wine "$work/vantorellc.exe" "$@" 2>"$work/err.txt" | tr -d '\r'; }
list() { vc list --json >"$work/out.lf" || fail "list: $(cat "$work/err.txt")"; }
has() { grep -qF -- "$1" "$work/out.lf" || fail "missing: $1"; }
data_of() {  # the data of value $2 of key $1 in view $3
  wine reg query "$1" /v "$2" "$3" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$2 *REG_[A-Z_]* *//p"
}

wine reg add "$lrun" /v VtThirtyTwo /d 'C:\x86\app32.exe' /f /reg:32 >/dev/null
wine reg add "$lrun" /v VtSixtyFour /d 'C:\x64\app64.exe' /f /reg:64 >/dev/null
list
has '"name": "VtThirtyTwo", "location": "lrun32", "view": "32", "windowsOff": false'
has '"name": "VtSixtyFour", "location": "lrun", "view": "64", "windowsOff": false'
[ "$(grep -c '"name": "VtThirtyTwo"' "$work/out.lf")" = 1 ] || fail "the 32-bit value is listed more than once"

for entry in "VtThirtyTwo|lrun32|/reg:32|C:\x86\app32.exe" "VtSixtyFour|lrun|/reg:64|C:\x64\app64.exe"; do
  IFS='|' read -r name code view data <<<"$entry"
  vc disable "$name" --location "$code" >/dev/null || fail "disable $name: $(cat "$work/err.txt")"
  [ -z "$(data_of "$lrun" "$name" "$view")" ] || fail "$name is still in its place"
  grep -qF "$name;$code;$data;;0;0" "$work/StartupList.txt" || fail "$name is not recorded with $code"
  vc enable "$name" --location "$code" >/dev/null || fail "enable $name: $(cat "$work/err.txt")"
  [ "$(data_of "$lrun" "$name" "$view")" = "$data" ] || fail "$name did not come back into its own view"
done
[ -z "$(data_of "$lrun" VtThirtyTwo /reg:64)" ] || fail "the 32-bit value leaked into the 64-bit view"
[ -z "$(data_of "$lrun" VtSixtyFour /reg:32)" ] || fail "the 64-bit value leaked into the 32-bit view"

# Switched off in Task Manager: still in its place, shown as off by Windows.
wine reg add "$crun" /v VtTaskOff /d 'C:\vt\task.exe' /f >/dev/null
wine reg add "$approved" /v VtTaskOff /t REG_BINARY /d 030000001122334455667708AABB /f >/dev/null
list
has '"state": "1", "name": "VtTaskOff", "location": "crun", "view": "", "windowsOff": true'
vc enable VtTaskOff >/dev/null || fail "enable VtTaskOff: $(cat "$work/err.txt")"
[ "$(data_of "$approved" VtTaskOff /reg:64)" = 020000000000000000000000AABB ] ||
  fail "the switch is not cleared to the byte: $(data_of "$approved" VtTaskOff /reg:64)"
[ "$(data_of "$crun" VtTaskOff /reg:64)" = 'C:\vt\task.exe' ] || fail "the entry moved"
list
has '"name": "VtTaskOff", "location": "crun", "view": "", "windowsOff": false'
echo "views_switches: ok"
