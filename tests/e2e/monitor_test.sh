#!/usr/bin/env bash
# The monitor woken by changes, on the real vantorell.exe under Wine: what a
# program writes into an autostart place is reported within a second of the
# write. A Run value added with `wine reg add`, a shortcut dropped into the
# Startup folder, a value in the machine's 32-bit view, a burst of 50 values
# (one report), a RunOnce key deleted and made again, a switched-off entry
# that comes back (taken out within a second, and after its third comeback
# within a minute told once), a Run value rewritten to point elsewhere (the
# changed-command report; AutoKill leaves it), and a program appended to
# Winlogon's Userinit. At rest nothing wakes it.
#
# Usage: monitor_test.sh VANTORELL_EXE VTDRIVER_EXE VTMARKER_EXE POINTER_SIZE OUTPUT_DIR
# Needs WINEPREFIX (scripts/test.sh prepares one) and skips (exit 77) without it.
set -uo pipefail

exe=$1 driver=$2 marker=$3 pointer_size=$4 out=$5
scenario=monitor
# shellcheck source=e2e-lib.sh
. "$(dirname "$0")/e2e-lib.sh"
e2e_setup

# How long a report may take after the write returned (the driver's own start is in it).
limit_ms=${VT_MONITOR_LIMIT_MS:-1000}
report='New startup program!'
user_runonce='HKCU\Software\Microsoft\Windows\CurrentVersion\RunOnce'

user_startup=$(wine "$driver" startup-folder | tr -d '\r') || { fail "no Startup folder"; exit 1; }
dropped="$(winepath -u "$user_startup" 2>/dev/null)/Dropped Tool.lnk"
cleanups+=("rm -f '$dropped'" "wine reg delete '$user_run' /f" "wine reg delete '$user_runonce' /f"
  "wine reg delete '$machine_run' /v Watch32 /f /reg:32" "wine reg delete '$machine_run' /v Vantorell /f $reg_view"
  "wine reg delete '$options_key' /f $reg_view")
wine reg delete "$options_key" /f $reg_view >/dev/null 2>&1
wine reg delete "$user_run" /f >/dev/null 2>&1
wine reg add "$user_run" /v Comeback /d 'C:\Tools\comeback.exe' /f >/dev/null || { fail "scene"; exit 1; }

# Winlogon's Userinit as Windows writes it; the test appends to it later.
winlogon='HKLM\Software\Microsoft\Windows NT\CurrentVersion\Winlogon'
own_userinit='C:\windows\system32\userinit.exe,'
userinit_before=$(wine reg query "$winlogon" /v Userinit /reg:64 2>/dev/null | tr -d '\r' | sed -n 's/^ *Userinit *REG_SZ *//p')
if [ -n "$userinit_before" ]; then
  cleanups+=("wine reg add '$winlogon' /v Userinit /d '$userinit_before' /f /reg:64")
else
  cleanups+=("wine reg delete '$winlogon' /v Userinit /f /reg:64")
fi
wine reg add "$winlogon" /v Userinit /d "$own_userinit" /f /reg:64 >/dev/null || { fail "scene: Userinit"; exit 1; }

now_ms() { date +%s%3N; }
# within NAME START_MS: the report box's text, failing when it took longer than the limit.
report_within() {
  local what=$1 start=$2 text took
  text=$(drive --timeout 5 box-text "$report") || { fail "$what: no report"; return 1; }
  took=$(($(now_ms) - start))
  [ "$took" -le "$limit_ms" ] || fail "$what: reported after $took ms"
  echo "$what: reported after $took ms" >&2
  drive answer "$report" OK >/dev/null || fail "$what: cannot close the report"
  # The box takes a moment to go away on a loaded machine: not a second report.
  poll 3 box_gone "$report"
  drive --timeout 3 wait-main visible 3 >/dev/null
  echo "$text"
}
no_box_for() {  # TITLE SECONDS
  ! drive --timeout "$2" box-text "$1" >/dev/null 2>&1
}

e2e_start
drive --timeout 20 wait-main visible 20 || { fail "the main window did not appear"; exit 1; }

# ---- AutoKill: a switched-off entry that comes back is out again within a second
row=$(drive grid | awk -F'\t' '$1 == "row" { n++; if ($3 == "Comeback") { print n; exit } }')
[ -n "$row" ] || fail "no row for Comeback"
drive dblclick 0 "$row" || fail "cannot switch Comeback off"
poll 5 reg_absent "$user_run" Comeback || fail "Comeback still in the Run key"
no_box_for "$report" 0.6 || fail "switching off was reported"
# Timed in the driver, from its write to the value's removal: a poll by
# `wine reg query` would add a process start of its own to every look.
took=$(drive --timeout 3 time-comeback Comeback 'C:\Tools\comeback.exe') || fail "AutoKill did not take the comeback out"
[ "${took:-99999}" -le "$limit_ms" ] || fail "comeback taken out after $took ms"
echo "comeback: taken out after $took ms" >&2
no_box_for "$report" 0.6 || fail "the comeback was reported"

# ---- a Run value added with wine reg add
wine reg add "$user_run" /v WatchOne /d 'C:\Tools\one.exe' /f >/dev/null || fail "reg add"
start=$(now_ms)
text=$(report_within "Run value" "$start")
case "$text" in *WatchOne*) ;; *) fail "report text: $text" ;; esac

# ---- a shortcut dropped into the Startup folder
wine "$driver" make-shortcut "$user_startup\\Dropped Tool.lnk" 'C:\windows\system32\winver.exe' || fail "shortcut"
start=$(now_ms)
text=$(report_within "shortcut" "$start")
case "$text" in *'Dropped Tool.lnk'*) ;; *) fail "shortcut report text: $text" ;; esac

# ---- a value in the machine's 32-bit view
wine reg add "$machine_run" /v Watch32 /d 'C:\Tools\w32.exe' /f /reg:32 >/dev/null || fail "reg add /reg:32"
start=$(now_ms)
text=$(report_within "32-bit value" "$start")
case "$text" in *Watch32*) ;; *) fail "32-bit report text: $text" ;; esac

# ---- a burst of 50 values in one write: one report naming all of them
{
  printf 'Windows Registry Editor Version 5.00\r\n\r\n[%s]\r\n' 'HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run'
  for i in $(seq -w 1 50); do printf '"Burst %s"="C:\\\\Tools\\\\burst%s.exe"\r\n' "$i" "$i"; done
} >"$scratch/burst.reg"
wine regedit /s "$(winepath -w "$scratch/burst.reg" 2>/dev/null)" >/dev/null 2>&1 || fail "regedit"
start=$(now_ms)
text=$(report_within "burst" "$start")
count=$(grep -o 'Burst [0-9][0-9]' <<<"$text" | sort -u | wc -l)
[ "$count" = 50 ] || fail "the burst's report names $count of 50 values"
no_box_for "$report" 1.5 || fail "the burst was reported more than once"

# ---- a RunOnce key deleted and made again is still watched
wine reg add "$user_runonce" /v 'Once A' /d 'C:\Tools\a.exe' /f >/dev/null
report_within "RunOnce" "$(now_ms)" >/dev/null
wine reg delete "$user_runonce" /f >/dev/null || fail "reg delete RunOnce"
no_box_for "$report" 0.8 || fail "a deleted key was reported"
wine reg add "$user_runonce" /v 'Once B' /d 'C:\Tools\b.exe' /f >/dev/null || fail "reg add RunOnce"
start=$(now_ms)
text=$(report_within "re-created RunOnce" "$start")
case "$text" in *'Once B'*) ;; *) fail "RunOnce report text: $text" ;; esac

# ---- a changed start command: reported once, with old and new; AutoKill leaves it
wine reg add "$user_run" /v WatchOne /d 'C:\Elsewhere\evil.exe' /f >/dev/null || fail "reg add"
start=$(now_ms)
text=$(drive --timeout 5 box-text Vantorell) || fail "no changed-command report"
took=$(($(now_ms) - start))
[ "$took" -le "$limit_ms" ] || fail "changed command: reported after $took ms"
case "$text" in
  # The name may be followed by its file's publisher or state, e.g. "WatchOne (not checked yet): ...".
  *'have changed their start command:'*'WatchOne'*': C:\Tools\one.exe'*'C:\Elsewhere\evil.exe'*) ;;
  *) fail "changed-command text: $text" ;;
esac
drive answer Vantorell OK >/dev/null || fail "cannot close the changed-command report"
[ "$(reg_value "$user_run" WatchOne)" = 'C:\Elsewhere\evil.exe' ] || fail "the changed entry was touched"
no_box_for Vantorell 1 || fail "the changed command was reported again"

# ---- a program appended to Winlogon's Userinit: reported as new
wine reg add "$winlogon" /v Userinit /d "${own_userinit}C:\Tools\logon.exe," /f /reg:64 >/dev/null || fail "Userinit"
start=$(now_ms)
text=$(report_within "Userinit append" "$start")
case "$text" in *'C:\Tools\logon.exe'*) ;; *) fail "Userinit report text: $text" ;; esac

# ---- at rest, with every place watched, nothing wakes the program: no timer is
# left running, not even the 12-second safety net (the scheduler counts no
# time slice of it for longer than that interval)
app_unix_pid=$(app_unix_pid)
slices() { cat "/proc/$app_unix_pid"/task/*/schedstat 2>/dev/null | awk '{ n += $3 } END { print n + 0 }'; }
if [ -z "$app_unix_pid" ]; then
  fail "no process of the program found"
else
  sleep 2
  before=$(slices)
  sleep 13
  woken=$(($(slices) - before))
  echo "at rest: woken $woken times in 13 s" >&2
  [ "$woken" = 0 ] || fail "the program woke $woken times in 13 s at rest"
fi

exit 0
