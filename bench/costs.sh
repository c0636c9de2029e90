#!/usr/bin/env bash
# The costs of vantorell.exe at rest, side by side with a floor program that does
# only what any tray-resident autostart manager must do (bench/floor: Common
# Controls 6, one window with a report ListView, COM with one shortcut read, one
# tray icon). Runs both under Wine, one after the other, on a desktop with a
# taskbar, and prints one table:
#   CPU while nothing changes, at 100 and at 5,000 entries (the program's own
#     process, and wineserver's, where Wine does the notification work), from
#     when the start's work is done: its CPU stopped growing for two seconds;
#   time from a program adding a Run value to the report;
#   private memory (USS) with the window shown, 100 entries;
#   size of each shipped exe (of every build folder given);
#   time until the window is on the screen, 5,000 entries (the median of
#     three starts; one in a smoke run);
#   time from a key press in the filter box to the grid's new row count,
#     5,000 entries: the slowest of four presses ("4999", each narrowing the
#     rows; the first one also folds every row's text once), the median of
#     three tries.
# About 100 services that start with Windows are present throughout (Wine's
# own and the benchmark's, VT_COST_SERVICES). Figures vary with the machine's
# load: run it on a quiet machine.
#
# Usage: bench/costs.sh [--smoke] [--memory-detail] [--exe VANTORELL_EXE] [BUILD_DIR...]
#   BUILD_DIR  a Release build (default build/win64); the first one is run, the
#              exes of every one are measured for size. It needs vantorell.exe,
#              vantorellc.exe, tests/vtdriver.exe and bench/cost_floor.exe.
#   --exe      run this vantorell.exe instead of the first build's (for a
#              before/after comparison)
#   --smoke    short idle windows and fewer entries: checks that the benchmark
#              works, its figures mean little (CI runs this)
#   --memory-detail  after the table, where each program's private memory lies
#              (100 entries): the largest mappings of /proc/PID/smaps, a
#              library by its file, the rest as "[anon]" or "[heap]"
# Uses WINEPREFIX when it names a prepared prefix, else makes a throw-away one.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

smoke=0 exe_override="" builds=() detail=0
while [ $# -gt 0 ]; do
  case "$1" in
    --smoke) smoke=1 ;;
    --memory-detail) detail=1 ;;
    --exe) exe_override=$2; shift ;;
    *) builds+=("$1") ;;
  esac
  shift
done
[ ${#builds[@]} -eq 0 ] && builds=(build/win64)
build=${builds[0]}
for f in vantorell.exe vantorellc.exe tests/vtdriver.exe bench/cost_floor.exe; do
  [ -f "$build/$f" ] || { echo "costs.sh: $build/$f is missing (build the Release preset first)" >&2; exit 1; }
done

if [ "$smoke" = 1 ]; then idle=4 many=400 settle=1 tries=1; else idle=60 many=5000 settle=3 tries=3; fi
# Typed into the filter box a key at a time: each press narrows the rows of "Cost Entry NNNNN".
if [ "$smoke" = 1 ]; then filter_keys=349; else filter_keys=4999; fi
few=100
services=${VT_COST_SERVICES:-83} # and Wine's own 17: about 100

# shellcheck source=../scripts/wine-env.sh
. scripts/wine-env.sh
own_prefix=""
if [ -z "${WINEPREFIX:-}" ] || [ ! -f "$WINEPREFIX/.vantorell-ready" ]; then
  own_prefix=$(mktemp -d)
  wine_env_start "$own_prefix/prefix" || exit 1
else
  wine_env_display || exit 1
fi

scratch=$(mktemp -d)
desk="vt-costs-$$-$RANDOM"
run_key='HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run'
started=()  # Windows process ids of the programs started here
desk_pid=""

cleanup() {
  local pid proc cmd
  for pid in "${started[@]}"; do wine "$scratch/vtdriver.exe" kill "$pid" >/dev/null 2>&1; done
  wine "$scratch/vtdriver.exe" services "Cost Service" 0 >/dev/null 2>&1
  [ -f "$scratch/remove.reg" ] && wine regedit /s "$(winepath -w "$scratch/remove.reg" 2>/dev/null)" >/dev/null 2>&1
  wine reg delete 'HKLM\Software\Microsoft\Windows\CurrentVersion\Run' /v Vantorell /f >/dev/null 2>&1
  wine reg delete 'HKLM\Software\Vantorell' /f >/dev/null 2>&1
  [ -n "$desk_pid" ] && kill "$desk_pid" 2>/dev/null
  for proc in /proc/[0-9]*; do
    cmd=$(tr '\0' ' ' 2>/dev/null <"$proc/cmdline") || continue
    case "$cmd" in *"/desktop=$desk,"*) kill "${proc#/proc/}" 2>/dev/null ;; esac
  done
  wine reg delete "HKCU\\Software\\Wine\\Explorer\\Desktops\\$desk" /f >/dev/null 2>&1
  rm -rf "$scratch"
  [ -n "$own_prefix" ] && { wine_env_stop; rm -rf "$own_prefix"; }
}
trap cleanup EXIT

cp "${exe_override:-$build/vantorell.exe}" "$scratch/vantorell.exe" &&
  cp "$build/bench/cost_floor.exe" "$build/tests/vtdriver.exe" "$scratch/" || exit 1
win_scratch=$(winepath -w "$scratch" 2>/dev/null | tr -d '\r')
drive() { wine "$scratch/vtdriver.exe" --desktop "$desk" "$@" | tr -d '\r'; return "${PIPESTATUS[0]}"; }
# The driver's standard error of its last start, added to a failure's message: the driver
# says why (no desktop, no window of that title, ...).
driver_err="$scratch/driver-err.txt"
said() { [ -s "$driver_err" ] && printf ': %s' "$(tr -d '\r' <"$driver_err" | tr '\n' ' ' | sed 's/ *$//')"; }

wine reg add "HKCU\\Software\\Wine\\Explorer\\Desktops\\$desk" /v EnableShell /t REG_DWORD /d 1 /f >/dev/null
(exec wine explorer "/desktop=$desk,1024x768" >/dev/null 2>&1) &
desk_pid=$!
# Wine closes a desktop about a second after the last program on it ends, and the benchmark
# ends and starts its programs on this one again and again: a holder of its own stays on it
# for the whole run (a hidden window, no CPU).
wine "$scratch/vtdriver.exe" --desktop "$desk" --timeout 60 launch "$win_scratch\\vtdriver.exe" hold \
  >"$scratch/holder.txt" 2>"$driver_err" </dev/null || { echo "costs.sh: no holder for the desktop$(said)" >&2; exit 1; }
started+=("$(tr -d '\r' <"$scratch/holder.txt")")
wine "$scratch/vtdriver.exe" make-shortcut "$win_scratch\\floor.lnk" 'C:\windows\system32\notepad.exe' || exit 1
# About a hundred services that start with Windows, as a real machine has them: Wine's own and these.
wine "$scratch/vtdriver.exe" services "Cost Service" "$services" || { echo "costs.sh: cannot make the services" >&2; exit 1; }

# ---- entries: values "Cost Entry NNNNN" in the user's Run key, written and removed with regedit
set_entries() {  # N
  local i
  {
    printf 'Windows Registry Editor Version 5.00\r\n\r\n[%s]\r\n' "$run_key"
    for ((i = 1; i <= many; i++)); do printf '"Cost Entry %05d"=-\r\n' "$i"; done
  } >"$scratch/remove.reg"
  {
    printf 'Windows Registry Editor Version 5.00\r\n\r\n[%s]\r\n' "$run_key"
    for ((i = 1; i <= many; i++)); do
      if [ "$i" -le "$1" ]; then printf '"Cost Entry %05d"="C:\\\\Programs\\\\Tool %05d\\\\tool.exe /startup"\r\n' "$i" "$i"
      else printf '"Cost Entry %05d"=-\r\n' "$i"; fi
    done
  } >"$scratch/set.reg"
  wine regedit /s "$(winepath -w "$scratch/set.reg" 2>/dev/null)" >/dev/null 2>&1
}

# ---- what /proc says about a process
unix_pid() {  # the Unix process of a Windows program of this run, by its exe's path
  local proc cmd
  for proc in /proc/[0-9]*; do
    cmd=$(tr '\0' ' ' 2>/dev/null <"$proc/cmdline") || continue
    case "$cmd" in "$win_scratch\\$1"*) echo "${proc#/proc/}"; return 0 ;; esac
  done
  return 1
}
server_pid() {  # the wineserver of this prefix ("wineserver" or "wineserver64")
  local pid
  for pid in $(pgrep '^wineserver'); do
    tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX" && { echo "$pid"; return 0; }
  done
  return 1
}
# CPU time in nanoseconds, all threads: the run time the scheduler accounts
# (schedstat). The user and system times of /proc/PID/stat are sampled at the
# clock tick and charge a whole tick to a process that happens to run when it
# fires: a program that wakes for a millisecond now and then shows as 0 or
# 40 ms a minute from one run to the next.
cpu_ns() { cat "/proc/$1"/task/*/schedstat 2>/dev/null | awk '{ ns += $1 } END { printf "%.0f", ns }'; }
uss_kb() { awk '/^Private_(Clean|Dirty):/ { kb += $2 } END { print kb + 0 }' "/proc/$1/smaps_rollup" 2>/dev/null; }
# The private KB of each mapping of a process, by the file it maps, largest first.
uss_detail() {
  awk '/^[0-9a-f]+-[0-9a-f]+ / { name = $6 == "" ? "[anon]" : $6; for (i = 7; i <= NF; i++) name = name " " $i; next }
       /^Private_(Clean|Dirty):/ { kb[name] += $2 }
       END { for (n in kb) if (kb[n] > 0) printf "%8d KB  %s\n", kb[n], n }' "/proc/$1/smaps" 2>/dev/null |
    sort -rn | head -12 | sed "s|$WINEPREFIX|PREFIX|; s|$scratch|SCRATCH|"
}
per_minute() { awk -v t="$1" -v s="$idle" 'BEGIN { printf "%.3f", t / 1e9 * 60 / s }'; }

# measure LABEL TITLE EXE ARGS...: starts it, waits until it is on the screen,
# then records start time, USS and the CPU of an idle window in globals; leaves it running.
measure() {
  local label=$1 title=$2 exe=$3 out win_pid pid server c0 c1 s0 s1
  shift 3
  # Into a file, not a pipe: the started program would hold a pipe open.
  wine "$scratch/vtdriver.exe" --desktop "$desk" --timeout 120 time-start "$title" "$win_scratch\\$exe" "$@" \
    >"$scratch/started.txt" 2>"$driver_err" </dev/null || { echo "costs.sh: $exe did not show$(said)" >&2; exit 1; }
  read -r start_ms win_pid < <(tr -d '\r' <"$scratch/started.txt")
  started+=("$win_pid")
  pid=$(unix_pid "$exe") || { echo "costs.sh: no process for $exe" >&2; exit 1; }
  sleep "$settle"
  # At rest is after the start's work (the scan, the fill, looking at every entry's file): the
  # program's CPU has not grown for two seconds. At most a minute more.
  local last now quiet=0 waited=0
  last=$(cpu_ns "$pid")
  while [ "$quiet" -lt 2 ] && [ "$waited" -lt 60 ]; do
    sleep 1
    waited=$((waited + 1))
    now=$(cpu_ns "$pid")
    if [ "$now" = "$last" ]; then quiet=$((quiet + 1)); else quiet=0; fi
    last=$now
  done
  declare -g "${label}_settled=$((settle + waited))"
  uss=$(uss_kb "$pid")
  [ "$detail" = 1 ] && [ "$label" != "${label%_few}" ] && uss_detail "$pid" >"$scratch/detail-$label.txt"
  server=$(server_pid) || server=$pid
  c0=$(cpu_ns "$pid") s0=$(cpu_ns "$server")
  sleep "$idle"
  c1=$(cpu_ns "$pid") s1=$(cpu_ns "$server")
  cpu=$(per_minute "$(awk -v a="$c0" -v b="$c1" 'BEGIN { printf "%.0f", b - a }')")
  server_cpu=$(per_minute "$(awk -v a="$s0" -v b="$s1" 'BEGIN { printf "%.0f", b - a }')")
  current_win_pid=$win_pid
  declare -g "${label}_start=$start_ms" "${label}_uss=$uss" "${label}_cpu=$cpu" "${label}_server=$server_cpu"
}
stop_program() { wine "$scratch/vtdriver.exe" kill "$current_win_pid" >/dev/null 2>&1; }

# The program's files start afresh for every run.
fresh_program() { rm -f "$scratch/StartupList.txt" "$scratch/ResF.txt"; }

echo "costs.sh: $([ "$smoke" = 1 ] && echo smoke run, figures not meaningful || echo full run)," \
  "idle windows of $idle s, $few and $many entries, $services services of the benchmark's own" >&2

# A first start warms the desktop and the caches up; it is not counted.
wine "$scratch/vtdriver.exe" --desktop "$desk" --timeout 120 time-start "Cost floor" "$win_scratch\\cost_floor.exe" 1 \
  >"$scratch/started.txt" 2>"$driver_err" </dev/null || { echo "costs.sh: the floor program did not show$(said)" >&2; exit 1; }
read -r _ current_win_pid < <(tr -d '\r' <"$scratch/started.txt")
started+=("$current_win_pid")
stop_program

set_entries $few
measure floor_few "Cost floor" cost_floor.exe $few "$win_scratch\\floor.lnk"
stop_program
fresh_program
measure app_few Vantorell vantorell.exe
# Time from a Run value to the report: the median of a few tries.
latencies=()
for ((t = 1; t <= tries; t++)); do
  ms=$(drive --timeout 30 time-report "Cost Newcomer $t" "New startup program!") || { echo "costs.sh: no report" >&2; exit 1; }
  latencies+=("$ms")
  drive answer "New startup program!" OK >/dev/null
  wine reg delete 'HKCU\Software\Microsoft\Windows\CurrentVersion\Run' /v "Cost Newcomer $t" /f >/dev/null 2>&1
done
report_ms=$(printf '%s\n' "${latencies[@]}" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }')
stop_program

# more_starts LABEL TITLE EXE ARGS...: starts it tries-1 times more and sets
# LABEL_start to the median of those and the first (one start alone varies a lot).
more_starts() {
  local label=$1 title=$2 exe=$3 times t first
  shift 3
  first=${label}_start
  times=("${!first}")
  for ((t = 2; t <= tries; t++)); do
    [ "$exe" = vantorell.exe ] && fresh_program
    wine "$scratch/vtdriver.exe" --desktop "$desk" --timeout 120 time-start "$title" "$win_scratch\\$exe" "$@" \
      >"$scratch/started.txt" 2>"$driver_err" </dev/null || { echo "costs.sh: $exe did not show$(said)" >&2; exit 1; }
    read -r start_ms current_win_pid < <(tr -d '\r' <"$scratch/started.txt")
    started+=("$current_win_pid")
    times+=("$start_ms")
    stop_program
  done
  declare -g "${label}_start=$(printf '%s\n' "${times[@]}" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }')"
}

set_entries "$many"
measure floor_many "Cost floor" cost_floor.exe "$many" "$win_scratch\\floor.lnk"
stop_program
more_starts floor_many "Cost floor" cost_floor.exe "$many" "$win_scratch\\floor.lnk"
fresh_program
measure app_many Vantorell vantorell.exe
# The refilter at each key press in the filter box, at rest with every entry shown.
refilters=()
for ((t = 1; t <= tries; t++)); do
  presses=$(drive --timeout 30 time-filter "$filter_keys" 2>"$driver_err") || { echo "costs.sh: no refilter figure$(said)" >&2; exit 1; }
  refilters+=("$(printf '%s\n' $presses | sort -n | tail -1)")
done
drive filter-escape >/dev/null 2>&1
refilter_ms=$(printf '%s\n' "${refilters[@]}" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }')
stop_program
more_starts app_many Vantorell vantorell.exe

# ---- the table
kb() { awk -v b="$1" 'BEGIN { printf "%.0f KB", b / 1024 }'; }
row() { printf '%-52s %14s %14s %14s   %s\n' "$@"; }
diff3() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%+.3f", a - b }'; }
echo
row "measure" "vantorell" "floor" "difference" "goal"
row "CPU while idle, $few entries (s per minute)" "$app_few_cpu" "$floor_few_cpu" "$(diff3 "$app_few_cpu" "$floor_few_cpu")" "<= +0.01"
row "  wineserver meanwhile (s per minute)" "$app_few_server" "$floor_few_server" "$(diff3 "$app_few_server" "$floor_few_server")" ""
row "  (at rest after, s)" "$app_few_settled" "$floor_few_settled" "" ""
row "CPU while idle, $many entries (s per minute)" "$app_many_cpu" "$floor_many_cpu" "$(diff3 "$app_many_cpu" "$floor_many_cpu")" "<= +0.05"
row "  wineserver meanwhile (s per minute)" "$app_many_server" "$floor_many_server" "$(diff3 "$app_many_server" "$floor_many_server")" ""
row "  (at rest after, s)" "$app_many_settled" "$floor_many_settled" "" ""
row "Run value added -> report (s)" "$(awk -v m="$report_ms" 'BEGIN { printf "%.3f", m / 1000 }')" "-" "" "<= 1"
row "private memory (USS), window shown, $few entries" \
  "$(awk -v k="$app_few_uss" 'BEGIN { printf "%.2f MB", k / 1024 }')" \
  "$(awk -v k="$floor_few_uss" 'BEGIN { printf "%.2f MB", k / 1024 }')" \
  "$(awk -v a="$app_few_uss" -v b="$floor_few_uss" 'BEGIN { printf "%+.2f MB", (a - b) / 1024 }')" "<= +1.0 MB"
for b in "${builds[@]}"; do
  arch=$(basename "$b")
  for f in vantorell.exe vantorellc.exe; do
    [ -f "$b/$f" ] || continue
    size=$(stat -c %s "$b/$f")
    [ "$b" = "$build" ] && [ "$f" = vantorell.exe ] && [ -n "$exe_override" ] && size=$(stat -c %s "$exe_override")
    row "size of $f ($arch)" "$(kb "$size")" "$(kb "$(stat -c %s "$b/bench/cost_floor.exe" 2>/dev/null || echo 0)")" "" "< 600 KB"
  done
done
row "window on screen after start, $many entries (s)" \
  "$(awk -v m="$app_many_start" 'BEGIN { printf "%.3f", m / 1000 }')" \
  "$(awk -v m="$floor_many_start" 'BEGIN { printf "%.3f", m / 1000 }')" \
  "$(awk -v a="$app_many_start" -v b="$floor_many_start" 'BEGIN { printf "%+.3f", (a - b) / 1000 }')" "<= floor + 0.3"
row "  (same, $few entries)" \
  "$(awk -v m="$app_few_start" 'BEGIN { printf "%.3f", m / 1000 }')" \
  "$(awk -v m="$floor_few_start" 'BEGIN { printf "%.3f", m / 1000 }')" "" ""
row "refilter after a key press, $many entries (ms)" "$refilter_ms" "-" "" "<= 50"
if [ "$detail" = 1 ]; then
  for label in app_few floor_few; do
    echo
    echo "private memory of $([ "$label" = app_few ] && echo vantorell || echo the floor), $few entries, by mapping:"
    cat "$scratch/detail-$label.txt" 2>/dev/null
  done
fi
