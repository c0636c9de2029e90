#!/usr/bin/env bash
# Crash test under Wine: "vantorellc disable NAME" and "vantorellc enable NAME"
# killed (SIGKILL) at random moments, again and again. After every kill the list
# file must be whole (every line ended by CR LF, six fields) and every entry must
# be in its Run key or recorded; at the end every entry must be recoverable to
# exactly one copy.
#   crash_test.sh PATH/TO/vantorellc.exe [CYCLES]
# Needs WINEPREFIX: a prepared prefix with its wineserver running (scripts/test.sh
# makes one); skips (exit 77) without. Prints the counts on its last line.
set -euo pipefail

exe=${1:?usage: crash_test.sh PATH/TO/vantorellc.exe [CYCLES]}
cycles=${2:-${VANTORELL_CRASH_CYCLES:-240}}
deadline_s=${VANTORELL_CRASH_SECONDS:-150}  # the loop stops here even short of CYCLES
min_cycles=${VANTORELL_CRASH_MIN:-200}
[ "$cycles" -ge "$min_cycles" ] || min_cycles=$cycles
names=8
if [ -z "${WINEPREFIX:-}" ] || [ ! -d "$WINEPREFIX" ]; then
  echo "crash_test: WINEPREFIX is not set to a prepared prefix; skipped" >&2
  exit 77
fi
export WINEDEBUG=-all LC_ALL=C

pe=$(od -An -tu4 -j60 -N4 "$exe" | tr -d ' ')
machine=$(od -An -tx2 -j$((pe + 4)) -N2 "$exe" | tr -d ' ')
if [ "$machine" = 8664 ]; then view=/reg:64; else view=/reg:32; fi
run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\run'

work=$(mktemp -d)
list="$work/StartupList.txt"
cleanup() {
  local i
  for i in $(seq 0 $((names - 1))); do wine reg delete "$run_key" /v "VtCrash$i" /f "$view" >/dev/null 2>&1 || true; done
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "crash_test: FAIL: $*" >&2
  echo "--- list file:" >&2
  cat -A "$list" >&2 2>/dev/null || true
  exit 1
}

command_of() { printf 'C:\\vt\\crash%s.exe /n %s' "$1" "$1"; }

# The names active in the Run key, one per line.
active_names() {
  wine reg query "$run_key" "$view" 2>/dev/null | tr -d '\r' | sed -n 's/^ *\(VtCrash[0-9]*\) *REG_SZ.*/\1/p'
}
# The names recorded in the list file, one per line (with repeats).
recorded_names() {
  [ -f "$list" ] || return 0
  tr -d '\r' <"$list" | cut -d';' -f1 | grep '^VtCrash' || true
}

# The list file is never cut short: every line ends with CR LF and has six
# fields with the recorded command.
check_list() {
  [ -f "$list" ] || return 0
  [ -s "$list" ] || return 0
  [ "$(tail -c 2 "$list" | od -An -tx1 | tr -d ' ')" = 0d0a ] || fail "the list file does not end with CR LF (cycle $1)"
  awk -v cycle="$1" '
    { if (substr($0, length($0), 1) != "\r") { print "line " NR " without CR"; bad = 1 }
      line = substr($0, 1, length($0) - 1)
      n = split(line, f, ";")
      if (n != 6) { print "line " NR " has " n " fields"; bad = 1 }
      want = f[1]; sub(/^VtCrash/, "", want)
      if (f[2] != "crun" || f[3] != "C:\\vt\\crash" want ".exe /n " want || f[5] != "0" || f[6] != "0") {
        print "line " NR " is not the record of " f[1]; bad = 1 }
    }
    END { exit bad }' "$list" || fail "the list file is damaged (cycle $1)"
}

# Every name is active or recorded, and recorded at most once. Sets $active
# and $recorded for the caller.
check_entries() {
  local i
  active=$(active_names)
  recorded=$(recorded_names)
  for i in $(seq 0 $((names - 1))); do
    local a r
    a=$(grep -cx "VtCrash$i" <<<"$active" || true)
    r=$(grep -cx "VtCrash$i" <<<"$recorded" || true)
    [ $((a + r)) -ge 1 ] || fail "VtCrash$i is lost (cycle $1)"
    [ "$r" -le 1 ] || fail "VtCrash$i is recorded $r times (cycle $1)"
  done
}

cp "$exe" "$work/vantorellc.exe"
for i in $(seq 0 $((names - 1))); do
  wine reg add "$run_key" /v "VtCrash$i" /t REG_SZ /d "$(command_of "$i")" /f "$view" >/dev/null
done

RANDOM=${VANTORELL_CRASH_SEED:-4711}
active="" recorded=""
start=$SECONDS
done_cycles=0 killed_running=0 killed_starting=0 completed=0 doubles_seen=0 temp_left=0
while [ "$done_cycles" -lt "$cycles" ] && { [ $((SECONDS - start)) -lt "$deadline_s" ] || [ "$done_cycles" -lt "$min_cycles" ]; }; do
  [ $((SECONDS - start)) -lt $((deadline_s * 2)) ] || fail "too slow: $done_cycles cycles in $((SECONDS - start)) s"
  n=$((RANDOM % names))
  name="VtCrash$n"
  if grep -qx "$name" <<<"$recorded"; then verb=enable; else verb=disable; fi
  # Mostly short delays: a command takes about 50 to 150 ms under Wine.
  u=$((RANDOM % 1000))
  delay_ms=$((300 * u * u / 1000000))
  # A session of its own, so the kill reaches the Windows process too.
  setsid wine "$work/vantorellc.exe" "$verb" "$name" >/dev/null 2>&1 &
  group=$!
  sleep "$(printf '0.%03d' "$delay_ms")"
  if ps -o stat=,args= -g "$group" 2>/dev/null | grep -v '^Z' | grep -qi 'vantorellc.exe'; then
    if ps -o args= -g "$group" 2>/dev/null | grep -q '^[A-Z]:.*vantorellc.exe'; then
      killed_running=$((killed_running + 1))
    else
      killed_starting=$((killed_starting + 1))
    fi
    kill -9 -- "-$group" 2>/dev/null || true
  else
    completed=$((completed + 1))
  fi
  wait "$group" 2>/dev/null || true
  done_cycles=$((done_cycles + 1))
  check_list "$done_cycles"
  check_entries "$done_cycles"
  [ ! -e "$list.new" ] || temp_left=$((temp_left + 1))
  # Both in its place and recorded: counted, then left for the next cycle,
  # which enables it (the record is taken) and so brings it back to one copy.
  both=$(comm -12 <(sort <<<"$active") <(sort <<<"$recorded") | grep -c . || true)
  doubles_seen=$((doubles_seen + both))
done
[ "$done_cycles" -ge "$min_cycles" ] || fail "only $done_cycles cycles"

# Recovery: the program reads what the kills left, and one enable of each
# doubled entry brings it back to a single copy.
json=$(wine "$work/vantorellc.exe" list --json | tr -d '\r') || fail "list --json failed after the kills"
doubled=$(comm -12 <(active_names | sort) <(recorded_names | sort))
recovered_doubles=0
for name in $doubled; do
  wine "$work/vantorellc.exe" enable "$name" >/dev/null 2>&1 || fail "enable $name failed"
  recovered_doubles=$((recovered_doubles + 1))
done
check_list final
check_entries final
json=$(wine "$work/vantorellc.exe" list --json | tr -d '\r') || fail "list --json failed"
recovered=0
for i in $(seq 0 $((names - 1))); do
  copies=$(grep -c "\"name\": \"VtCrash$i\", \"location\": \"crun\"" <<<"$json" || true)
  [ "$copies" -eq 1 ] || fail "VtCrash$i stands $copies times after recovery"
  recovered=$((recovered + 1))
done
echo "crash_test: ok: cycles=$done_cycles killed_running=$killed_running killed_starting=$killed_starting" \
  "completed=$completed doubles_seen=$doubles_seen doubles_recovered=$recovered_doubles temp_files_left=$temp_left" \
  "entries_recovered=$recovered/$names seconds=$((SECONDS - start))"
