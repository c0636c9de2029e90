#!/usr/bin/env bash
# The scan under Wine against the real registry and the real Startup folders,
# through "vantorellc list --json".
#   scan_list_test.sh PATH/TO/vantorellc.exe
# Needs WINEPREFIX: a fresh prefix of the test run with its wineserver running
# (scripts/test.sh prepares one). It adds values to the Run keys and shortcuts
# to the Startup folders of that prefix and removes them again; without
# WINEPREFIX it refuses to touch the default prefix and skips (exit 77).
set -euo pipefail

exe=${1:?usage: scan_list_test.sh PATH/TO/vantorellc.exe}
if [ -z "${WINEPREFIX:-}" ] || [ ! -d "$WINEPREFIX" ]; then
  echo "scan_list: WINEPREFIX is not set to a prepared prefix; skipped" >&2
  exit 77
fi
export WINEDEBUG=-all LC_ALL=C.UTF-8

# Both builds read the machine's "lrun"-type keys in the 64-bit view.
reg() { wine reg "$@" /reg:64; }

run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\run'
runonce_key='HKCU\Software\Microsoft\Windows\CurrentVersion\runonce'
lrun_key='HKLM\Software\Microsoft\Windows\CurrentVersion\run'
lruns_key='HKLM\Software\Microsoft\Windows\CurrentVersion\runservices'
shell_folders='Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders'

work=$(mktemp -d)
cleanup() {
  reg delete "$run_key" /v VtString /f >/dev/null 2>&1 || true
  reg delete "$run_key" /v 'Vt Café' /f >/dev/null 2>&1 || true
  reg delete "$runonce_key" /v 'vt;semi' /f >/dev/null 2>&1 || true
  reg delete "$lrun_key" /v VtDword /f >/dev/null 2>&1 || true
  reg delete "$lrun_key" /v VtBinary /f >/dev/null 2>&1 || true
  reg delete "$lruns_key" /ve /f >/dev/null 2>&1 || true
  rm -f "${user_startup:-/nonexistent}"/Vt*.lnk "${common_startup:-/nonexistent}"/Vt*.lnk
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "scan_list: FAIL: $*" >&2
  echo "--- output:" >&2
  cat "$work/out.json" >&2 || true
  exit 1
}

# The Unix path of a Startup folder named in "Shell Folders".
folder_of() {
  local win
  win=$(reg query "$1\\$shell_folders" /v "$2" | tr -d '\r' | sed -n "s/^ *$2 *REG_SZ *//p")
  [ -n "$win" ] || fail "no '$2' value in $1 Shell Folders"
  winepath -u "$win" | tr -d '\r'
}

# A minimal shell link (header, link info with a local base path, no strings,
# terminal block) whose target is the Windows path $2.
make_lnk() {
  local out=$1 target=$2
  local n=${#target}
  local vol=17 hdr=28
  local local_ofs=$((hdr + vol))
  local suffix_ofs=$((local_ofs + n + 1))
  local info=$((suffix_ofs + 1))
  le32() { printf '\\x%02x\\x%02x\\x%02x\\x%02x' $(($1 & 255)) $((($1 >> 8) & 255)) $((($1 >> 16) & 255)) $((($1 >> 24) & 255)); }
  {
    printf '\x4c\x00\x00\x00'                                                  # header size
    printf '\x01\x14\x02\x00\x00\x00\x00\x00\xc0\x00\x00\x00\x00\x00\x00\x46'  # CLSID_ShellLink
    printf "$(le32 2)"                                                         # HasLinkInfo
    printf "$(le32 32)"                                                        # archive
    head -c 24 /dev/zero                                                       # times
    printf "$(le32 0)$(le32 0)$(le32 1)"                                       # size, icon, show normal
    head -c 12 /dev/zero                                                       # hot key, reserved
    printf "$(le32 $info)$(le32 $hdr)$(le32 1)$(le32 $hdr)$(le32 $local_ofs)$(le32 0)$(le32 $suffix_ofs)"
    printf "$(le32 $vol)$(le32 3)$(le32 0)$(le32 16)"'\x00'                    # volume id, empty label
    printf '%s\0\0' "$target"                                                 # base path, suffix
    printf "$(le32 0)"                                                         # terminal block
  } >"$out"
}

user_startup=$(folder_of HKCU Startup)
common_startup=$(folder_of HKLM 'Common Startup')
mkdir -p "$user_startup" "$common_startup"

# The places: every kind of value, and shortcuts visible and hidden.
reg add "$run_key" /v VtString /t REG_SZ /d 'C:\vt\string.exe /s' /f >/dev/null
reg add "$run_key" /v 'Vt Café' /t REG_SZ /d 'C:\vt\café.exe' /f >/dev/null
reg add "$runonce_key" /v 'vt;semi' /t REG_EXPAND_SZ /d '%SystemRoot%\vt.exe' /f >/dev/null
reg add "$lrun_key" /v VtDword /t REG_DWORD /d 42 /f >/dev/null
reg add "$lrun_key" /v VtBinary /t REG_BINARY /d 0102 /f >/dev/null
reg add "$lruns_key" /ve /d 'C:\vt\default.exe' /f >/dev/null
make_lnk "$user_startup/VtLink.lnk" 'C:\windows\notepad.exe'
make_lnk "$user_startup/VtHidden.lnk" 'C:\windows\hidden.exe'
wine attrib +h "$(winepath -w "$user_startup/VtHidden.lnk" | tr -d '\r')" >/dev/null
make_lnk "$common_startup/VtCommon.lnk" 'C:\windows\regedit.exe'

# The list file beside a copy of the program: a deferred record of a name that
# is also active, and a record whose name and command hold ";" (escaped).
cp "$exe" "$work/vantorellc.exe"
printf 'VtString;crun;C:\\old\\string.exe;;1;0\r\nsemi\x1fname;lrun;C:\\a\x1fb.exe;;0;0\r\n' >"$work/StartupList.txt"
cp "$work/StartupList.txt" "$work/StartupList.before"

wine "$work/vantorellc.exe" list --json >"$work/out.json" 2>"$work/err.txt" || fail "exit code $? ($(cat "$work/err.txt"))"
tr -d '\r' <"$work/out.json" >"$work/out.lf"

expect() {  # an object's line, without its position and index
  grep -qF -- "$1" "$work/out.lf" || fail "missing: $1"
}
expect '"index": 0, "state": "2", "name": "VtString", "location": "crun", "view": "", "windowsOff": false, "confirm": "1", "delay": "0", "command": "C:\\old\\string.exe"'
expect '"index": 1, "state": "0", "name": "semi;name", "location": "lrun", "view": "64", "windowsOff": false, "confirm": "0", "delay": "0", "command": "C:\\a;b.exe"'
expect '"state": "1", "name": "VtLink.lnk", "location": "SUF", "view": "", "windowsOff": false, "confirm": "0", "delay": "0", "command": "C:\\windows\\notepad.exe"'
expect '"state": "1", "name": "VtString", "location": "crun", "view": "", "windowsOff": false, "confirm": "0", "delay": "0", "command": "C:\\vt\\string.exe /s"'
expect '"state": "1", "name": "Vt Café", "location": "crun", "view": "", "windowsOff": false, "confirm": "0", "delay": "0", "command": "C:\\vt\\café.exe"'
expect '"state": "1", "name": "vt;semi", "location": "crunonce", "view": "", "windowsOff": false, "confirm": "0", "delay": "0", "command": "%SystemRoot%\\vt.exe"'
expect '"state": "1", "name": "VtCommon.lnk", "location": "DSUF", "view": "", "windowsOff": false, "confirm": "0", "delay": "0", "command": "C:\\windows\\regedit.exe"'
expect '"state": "1", "name": "VtDword", "location": "lrun", "view": "64", "windowsOff": false, "confirm": "0", "delay": "0", "command": ""'
expect '"state": "1", "name": "VtBinary", "location": "lrun", "view": "64", "windowsOff": false, "confirm": "0", "delay": "0", "command": ""'
expect '"state": "1", "name": "", "location": "lruns", "view": "64", "windowsOff": false, "confirm": "0", "delay": "0", "command": "C:\\vt\\default.exe"'
if grep -q VtHidden "$work/out.lf"; then fail "the hidden shortcut is listed"; fi

# Display order: line k holds position k; the indices are 0..N-1 once each;
# the recorded "VtString" (index 0) comes right before the active one.
awk '
  BEGIN { n = 0 }
  /^  \{"position": / {
    pos = $0; sub(/^  \{"position": /, "", pos); sub(/,.*/, "", pos)
    idx = $0; sub(/.*"index": /, "", idx); sub(/,.*/, "", idx)
    if (pos + 0 != n) { print "position " pos " on line " n; bad = 1 }
    if (seen[idx]++) { print "index " idx " twice"; bad = 1 }
    n++
  }
  END {
    for (i = 0; i < n; i++) if (!(i in seen)) { print "index " i " missing"; bad = 1 }
    exit bad
  }' "$work/out.lf" || fail "display order"
grep -A1 -F '"index": 0, "state": "2", "name": "VtString"' "$work/out.lf" | tail -1 |
  grep -qF '"name": "VtString", "location": "crun"' || fail "the active VtString does not follow its record"
# Entries sort without regard to case: "vt;semi" after "Vt Café", before "VtBinary".
order=$(grep -oE '"name": "(Vt Café|vt;semi|VtBinary)"' "$work/out.lf" | tr '\n' '|')
[ "$order" = '"name": "Vt Café"|"name": "vt;semi"|"name": "VtBinary"|' ] || fail "order $order"

if command -v python3 >/dev/null; then
  python3 -c 'import json,sys; json.load(open(sys.argv[1], encoding="utf-8"))' "$work/out.json" || fail "not JSON"
fi
cmp -s "$work/StartupList.txt" "$work/StartupList.before" || fail "the list file was rewritten"

# Usage errors exit with 2, an unreadable list file with 1 and a message naming it.
set +e
wine "$work/vantorellc.exe" list --bogus >/dev/null 2>&1
[ $? -eq 2 ] || fail "unknown option: exit code is not 2"
rm "$work/StartupList.txt"
mkdir "$work/StartupList.txt"  # exists, cannot be read as a file
wine "$work/vantorellc.exe" list >/dev/null 2>"$work/err.txt"
code=$?
set -e
[ $code -eq 1 ] || fail "unreadable list file: exit code $code"
grep -q 'StartupList.txt' "$work/err.txt" || fail "unreadable list file: message $(cat "$work/err.txt")"
echo "scan_list: ok ($(grep -c '"position"' "$work/out.lf") entries)"
