#!/usr/bin/env bash
# An installed copy used by someone who may not write its folder: Wine runs as
# an unprivileged Unix user (nobody) in a prefix of its own, the program's
# folder belongs to root and is not writable, and so is the machine's list
# folder (%ProgramData%\Vantorell) at first. Wine reports EACCES as access
# denied. The real vantorellc.exe, used as a user would:
#  1. switches a user entry off and on: the user's list in
#     %LOCALAPPDATA%\Vantorell records it and gives it up, nothing is written
#     beside the exe;
#  2. cannot switch a machine entry off without the rights to the machine's
#     list: it says so and the entry stays where it was, unrecorded;
#  3. with the machine's list folder writable, switches it off into the
#     machine's list, not the user's.
#   standard_user_test.sh PATH/TO/vantorellc.exe
# Needs root (to hand the prefix to nobody) and setpriv; skips (77) without them.
set -uo pipefail

exe=${1:?usage: standard_user_test.sh PATH/TO/vantorellc.exe}
if [ "$(id -u)" != 0 ] || ! command -v setpriv >/dev/null; then
  echo "SKIP: needs root and setpriv to run Wine as an unprivileged user"
  exit 77
fi
uid=65534 gid=65534
scratch=$(mktemp -d /tmp/vt-stduser.XXXXXX)
chmod 755 "$scratch"
mkdir -p "$scratch/home" "$scratch/prefix" "$scratch/app"
chown "$uid:$gid" "$scratch/home" "$scratch/prefix"
cp "$exe" "$scratch/app/vantorellc.exe" && touch "$scratch/app/Vantorell.installed" || exit 1
chmod 755 "$scratch/app" && chmod 644 "$scratch/app"/*
app_win="Z:$(tr / '\\' <<<"$scratch/app")"
failed=0

as_user() {
  setpriv --reuid=$uid --regid=$gid --clear-groups env HOME="$scratch/home" WINEPREFIX="$scratch/prefix" \
    WINEDEBUG=-all WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" DISPLAY= "$@"
}
cleanup() {
  as_user wineserver -k >/dev/null 2>&1
  rm -rf "$scratch"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  failed=1
}
vtc() { as_user timeout -k 2 30 wine "$app_win\\vantorellc.exe" "$@" 2>&1 | tr -d '\r'; return "${PIPESTATUS[0]}"; }
value() { as_user wine reg query "$1" /v "$2" /reg:64 >/dev/null 2>&1; }

as_user wineserver -p >/dev/null 2>&1
as_user timeout 120 wineboot -i >/dev/null 2>&1 || { echo "FAIL: wineboot as an unprivileged user" >&2; exit 1; }
user_run='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
machine_run='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
as_user wine reg add "$user_run" /v Mine /d 'C:\mine.exe' /f >/dev/null &&
  as_user wine reg add "$machine_run" /v Shared /d 'C:\shared.exe' /f /reg:64 >/dev/null || { fail "reg add"; exit 1; }
local_app_data=$(as_user wine cmd /c echo %LOCALAPPDATA% | tr -d '\r')
user_list="$(as_user winepath -u "$local_app_data" 2>/dev/null)/Vantorell/StartupList.txt"
shared_dir="$scratch/prefix/drive_c/ProgramData/Vantorell"
shared_list="$shared_dir/StartupList.txt"
mkdir -p "$shared_dir" && chmod 755 "$shared_dir" # root's: read by Users, written by no one of them

echo "-- a user entry, off and on"
out=$(vtc disable Mine) || fail "disable Mine: $out"
value "$user_run" Mine && fail "Mine is still in the user's Run key"
grep -qxF $'Mine;crun;C:\\mine.exe;;0;0\r' "$user_list" 2>/dev/null || fail "the user's list: $(cat "$user_list" 2>&1)"
out=$(vtc enable Mine) || fail "enable Mine: $out"
value "$user_run" Mine || fail "Mine is not back in the user's Run key"
[ -s "$user_list" ] && fail "the user's list still holds: $(cat "$user_list")"
[ -z "$(ls -A "$scratch/app" | grep -v -e vantorellc.exe -e Vantorell.installed)" ] ||
  fail "written beside the exe: $(ls -A "$scratch/app")"

echo "-- a machine entry without the rights to the machine's list"
# Exit code 3 ("run vantorellc as administrator") needs a process that is not
# elevated; Wine's token is elevated even for nobody, so the refusal is 1 here.
out=$(vtc disable Shared)
rc=$?
[ "$rc" = 1 ] || [ "$rc" = 3 ] || fail "disable Shared without the rights: exit code $rc: $out"
# Windows says "Access is denied.", Wine "Access denied."
case "$out" in *"Access is denied"* | *"Access denied"*) ;; *) fail "the error does not say why: $out" ;; esac
value "$machine_run" Shared || fail "Shared left its place although it could not be recorded"
[ -e "$shared_list" ] && fail "the machine's list was written"
grep -q Shared "$user_list" 2>/dev/null && fail "Shared went into the user's list"

echo "-- a machine entry with them"
chown "$uid:$gid" "$shared_dir"
out=$(vtc disable Shared) || fail "disable Shared: $out"
value "$machine_run" Shared && fail "Shared is still in the machine's Run key"
grep -qxF $'Shared;lrun;C:\\shared.exe;;0;0\r' "$shared_list" 2>/dev/null ||
  fail "the machine's list: $(cat "$shared_list" 2>&1)"
grep -q Shared "$user_list" 2>/dev/null && fail "Shared went into the user's list"

[ "$failed" = 0 ] && echo "PASS"
exit $failed
