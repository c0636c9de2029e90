#!/usr/bin/env bash
# The places that are no Run keys, under Wine, through the real vantorellc of
# either build:
#   places_test.sh PATH/TO/vantorellc.exe
# A value is planted in each place with `wine reg add`; "list --json" shows its
# entry with the place's code; switched off and on again, the value reads back
# from `reg query` exactly as it was planted. Windows' own userinit.exe is
# refused, and confirm is refused where Vantorell cannot start the program.
# Needs WINEPREFIX (a prepared prefix); skips (77) without one.
set -euo pipefail

exe=${1:?usage: places_test.sh PATH/TO/vantorellc.exe}
if [ -z "${WINEPREFIX:-}" ] || [ ! -d "$WINEPREFIX" ]; then
  echo "places: WINEPREFIX is not set to a prepared prefix; skipped" >&2
  exit 77
fi
export WINEDEBUG=-all LC_ALL=C.UTF-8

policies='Software\Microsoft\Windows\CurrentVersion\Policies\Explorer\Run'
windows='HKCU\Software\Microsoft\Windows NT\CurrentVersion\Windows'
winlogon='Software\Microsoft\Windows NT\CurrentVersion\Winlogon'
components='HKLM\Software\Microsoft\Active Setup\Installed Components'
own_userinit='C:\windows\system32\userinit.exe'

# code|key|value|view|type|data|entry name
places=(
  "cprun|HKCU\\$policies|VtPolicy|/reg:64|REG_SZ|C:\\vt\\policy.exe /q|VtPolicy"
  "lprun|HKLM\\$policies|VtPolicy|/reg:64|REG_EXPAND_SZ|%TEMP%\\vt policy.exe|VtPolicy"
  "cload|$windows|Load|/reg:64|REG_SZ|C:\\vt\\a.exe  C:\\vt\\load.exe, C:\\vt\\b.exe|C:\\vt\\load.exe"
  "cwinrun|$windows|Run|/reg:64|REG_SZ|C:\\vt\\winrun.exe|C:\\vt\\winrun.exe"
  "luserinit|HKLM\\$winlogon|Userinit|/reg:64|REG_SZ|$own_userinit,C:\\vt\\evil.exe,|C:\\vt\\evil.exe"
  "lshell|HKLM\\$winlogon|Shell|/reg:64|REG_SZ|explorer.exe C:\\vt\\shell.exe|Shell"
  "cshell|HKCU\\$winlogon|Shell|/reg:64|REG_SZ|C:\\vt\\cshell.exe|Shell"
  "clogonscript|HKCU\\Environment|UserInitMprLogonScript|/reg:64|REG_EXPAND_SZ|%USERPROFILE%\\vt.cmd|UserInitMprLogonScript"
  "lactive|$components\\{VT-64}|StubPath|/reg:64|REG_EXPAND_SZ|%windir%\\vt64.exe /s|Vt Setup 64"
  "lactive32|$components\\{VT-32}|StubPath|/reg:32|REG_SZ|C:\\vt\\vt32.exe /s|Vt Setup 32"
)

work=$(mktemp -d)
# The values of the prefix that the test overwrites, as `reg add` arguments.
saved=()
save() {  # KEY VALUE VIEW
  local line type data
  line=$(wine reg query "$1" /v "$2" "$3" 2>/dev/null | tr -d '\r' | grep -E "^ +$2 +REG_" || true)
  if [ -n "$line" ]; then
    type=$(sed -E "s/^ +$2 +(REG_[A-Z_]+).*/\1/" <<<"$line")
    data=$(sed -E "s/^ +$2 +REG_[A-Z_]+ {4}//" <<<"$line")
    saved+=("$1|$2|$3|$type|$data")
  else
    saved+=("$1|$2|$3||")
  fi
}
cleanup() {
  local entry key value view type data
  for entry in "${saved[@]}"; do
    IFS='|' read -r key value view type data <<<"$entry"
    if [ -n "$type" ]; then
      wine reg add "$key" /v "$value" /t "$type" /d "$data" /f "$view" >/dev/null 2>&1 || true
    else
      wine reg delete "$key" /v "$value" /f "$view" >/dev/null 2>&1 || true
    fi
  done
  wine reg delete "$components\\{VT-64}" /f /reg:64 >/dev/null 2>&1 || true
  wine reg delete "$components\\{VT-32}" /f /reg:32 >/dev/null 2>&1 || true
  for twin in A B; do
    wine reg delete "$components\\{VT-TWIN-$twin}" /f /reg:64 >/dev/null 2>&1 || true
    wine reg delete "$components\\{VT-TWIN-$twin}" /f /reg:32 >/dev/null 2>&1 || true
  done
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "places: FAIL: $*" >&2
  cat "$work/out.lf" >&2 2>/dev/null || true
  exit 1
}

cp "$exe" "$work/vantorellc.exe"
vc() { wine "$work/vantorellc.exe" "$@" 2>"$work/err.txt" | tr -d '\r'; }
list() { vc list --json >"$work/out.lf" || fail "list: $(cat "$work/err.txt")"; }
json() { sed 's/\\/\\\\/g' <<<"$1"; }  # a text as the JSON output writes it
query() { wine reg query "$1" /v "$2" "$3" 2>/dev/null | tr -d '\r' | grep -E "^ +$2 +REG_" || true; }

for entry in "${places[@]}"; do
  IFS='|' read -r code key value view type data name <<<"$entry"
  save "$key" "$value" "$view"
  wine reg add "$key" /v "$value" /t "$type" /d "$data" /f "$view" >/dev/null || fail "reg add $code"
  case $code in lactive*) wine reg add "$key" /ve /d "$name" /f "$view" >/dev/null || fail "reg add $code" ;; esac
done

list
for entry in "${places[@]}"; do
  IFS='|' read -r code key value view type data name <<<"$entry"
  grep -qF "\"name\": \"$(json "$name")\", \"location\": \"$code\"" "$work/out.lf" || fail "$code: no entry '$name'"
done
grep -qF '"location": "luserinit"' <(grep -F 'userinit.exe"' "$work/out.lf") && fail "Windows' own userinit.exe is listed"

for entry in "${places[@]}"; do
  IFS='|' read -r code key value view type data name <<<"$entry"
  planted=$(query "$key" "$value" "$view")
  vc disable "$name" --location "$code" >/dev/null || fail "disable $code: $(cat "$work/err.txt")"
  [ "$(query "$key" "$value" "$view")" != "$planted" ] || fail "$code: still in its place"
  grep -qF "$name;$code;" "$work/StartupList.txt" || fail "$code: not recorded"
  vc enable "$name" --location "$code" >/dev/null || fail "enable $code: $(cat "$work/err.txt")"
  [ "$(query "$key" "$value" "$view")" = "$planted" ] ||
    fail "$code: came back as '$(query "$key" "$value" "$view")', planted '$planted'"
done
[ "$(query "HKLM\\$winlogon" Userinit /reg:64)" = "    Userinit    REG_SZ    $own_userinit,C:\\vt\\evil.exe," ] ||
  fail "Userinit: $(query "HKLM\\$winlogon" Userinit /reg:64)"

# Taken out of Userinit: the rest stays byte for byte.
vc disable 'C:\vt\evil.exe' --location luserinit >/dev/null || fail "disable: $(cat "$work/err.txt")"
[ "$(query "HKLM\\$winlogon" Userinit /reg:64)" = "    Userinit    REG_SZ    $own_userinit," ] ||
  fail "Userinit without the item: $(query "HKLM\\$winlogon" Userinit /reg:64)"
vc enable 'C:\vt\evil.exe' --location luserinit >/dev/null || fail "enable: $(cat "$work/err.txt")"

# Refused, with a message, and nothing changed.
before=$(query "HKLM\\$winlogon" Userinit /reg:64)
vc disable userinit.exe --location luserinit >/dev/null && fail "Windows' own userinit.exe was taken out"
grep -qF "Windows' own" "$work/err.txt" || fail "own item: $(cat "$work/err.txt")"
vc confirm 'C:\vt\load.exe' --location cload >/dev/null && fail "confirm was taken for a Load item"
grep -qF 'not available' "$work/err.txt" || fail "confirm: $(cat "$work/err.txt")"
[ "$(query "HKLM\\$winlogon" Userinit /reg:64)" = "$before" ] || fail "a refusal changed Userinit"
[ ! -s "$work/StartupList.txt" ] || fail "a refusal left a record: $(cat "$work/StartupList.txt")"

# A Policies Run value is handed over like a Run value.
vc delay 30 VtPolicy --location cprun >/dev/null || fail "delay: $(cat "$work/err.txt")"
grep -qF 'VtPolicy;cprun;C:\vt\policy.exe /q;;0;30' "$work/StartupList.txt" || fail "no deferred record"
vc enable VtPolicy --location cprun >/dev/null || fail "enable: $(cat "$work/err.txt")"
# Two Active Setup components that show one name, in either view: by name
# alone nothing changes and both are listed with their sub-key and command;
# the held command picks one, and its twin keeps its StubPath.
for view in "lactive|/reg:64" "lactive32|/reg:32"; do
  IFS='|' read -r code reg <<<"$view"
  for twin in A B; do
    wine reg add "$components\\{VT-TWIN-$twin}" /ve /d "Vt Twin" /f "$reg" >/dev/null || fail "reg add twin"
    wine reg add "$components\\{VT-TWIN-$twin}" /v StubPath /d "C:\\vt\\twin$twin.exe" /f "$reg" >/dev/null ||
      fail "reg add twin"
  done
  stub() { query "$components\\{VT-TWIN-$1}" StubPath "$reg"; }
  a=$(stub A) b=$(stub B)
  [ -n "$a" ] && [ -n "$b" ] || fail "$code: twins not planted"
  list
  for twin in A B; do
    grep -qF "\"location\": \"$code\"" <(grep -F "\"subKey\": \"{VT-TWIN-$twin}\"" "$work/out.lf") ||
      fail "$code: list --json does not show twin $twin's sub-key"
  done
  vc delete "Vt Twin" --location "$code" >/dev/null && fail "$code: a name two components share was deleted"
  for twin in A B; do
    grep -qF -- "--sub-key {VT-TWIN-$twin}, --held-command C:\\vt\\twin$twin.exe)" "$work/err.txt" ||
      fail "$code: twin $twin not listed: $(cat "$work/err.txt")"
  done
  [ "$(stub A)" = "$a" ] && [ "$(stub B)" = "$b" ] || fail "$code: a refused delete changed a twin"
  vc disable "Vt Twin" --location "$code" --kind active --held-command 'C:\vt\twinB.exe' >/dev/null ||
    fail "$code: disable by held command: $(cat "$work/err.txt")"
  [ -z "$(stub B)" ] || fail "$code: the twin named by its command is still there"
  [ "$(stub A)" = "$a" ] || fail "$code: the other twin lost its StubPath: '$(stub A)'"
  grep -qF "Vt Twin;$code;C:\\vt\\twinB.exe;REG_SZ {VT-TWIN-B};" "$work/StartupList.txt" ||
    fail "$code: record: $(cat "$work/StartupList.txt")"
  vc enable "Vt Twin" --location "$code" >/dev/null || fail "$code: enable: $(cat "$work/err.txt")"
  [ "$(stub B)" = "$b" ] && [ "$(stub A)" = "$a" ] || fail "$code: twins after enable: '$(stub A)' '$(stub B)'"
done
echo "places: ok"
