#!/usr/bin/env bash
# Writers meeting: the real window (its grid's double-clicks, and the monitor
# with AutoKill on) and three vantorellc processes switch 20 entries off and
# on, confirm them and give them delays, all at once, for a while (120 seconds
# unless VT_WRITERS_SECONDS says otherwise). Afterwards every entry is either
# in its Run key or recorded in "StartupList.txt": never neither, never both,
# never recorded twice. Prints the number of operations and the entries lost.
#
# Usage: writers_test.sh VANTORELL_EXE VTDRIVER_EXE VANTORELLC_EXE POINTER_SIZE OUTPUT_DIR
# Needs WINEPREFIX (scripts/test.sh prepares one) and skips (exit 77) without it.
set -uo pipefail

exe=$1 driver=$2 console=$3 pointer_size=$4 out=$5
marker=$console # e2e_setup copies it; unused here
scenario=writers
# shellcheck source=e2e-lib.sh
. "$(dirname "$0")/e2e-lib.sh"
e2e_setup

seconds=${VT_WRITERS_SECONDS:-120}
list="$scratch/StartupList.txt"
cp "$console" "$scratch/vantorellc.exe" || { fail "copy vantorellc"; exit 1; }
names=()
for n in $(seq -w 1 20); do names+=("Vt$n"); done
cleanups+=("wine reg delete '$machine_run' /v Vantorell /f $reg_view" "wine reg delete '$options_key' /f $reg_view")
for name in "${names[@]}"; do
  cleanups+=("wine reg delete '$user_run' /v $name /f")
  wine reg add "$user_run" /v "$name" /d "C:\\vt\\$name.exe -x" /f >/dev/null || { fail "reg add $name"; exit 1; }
done
# AutoKill on; no report boxes in the window's way; a close really ends it.
wine reg add "$options_key" /v Warn /t REG_DWORD /d 0 /f $reg_view >/dev/null &&
  wine reg add "$options_key" /v Kill /t REG_DWORD /d 1 /f $reg_view >/dev/null &&
  wine reg add "$options_key" /v Min /t REG_DWORD /d 0 /f $reg_view >/dev/null || { fail "options"; exit 1; }

e2e_start
drive --timeout 20 wait-main visible 20 || { fail "the main window did not appear"; exit 1; }

deadline=$((SECONDS + seconds))
# One writer of the console: random verbs on random entries until the deadline;
# one line per operation: its exit code.
console_writer() {
  local log=$1 name verb rc
  while [ $SECONDS -lt $deadline ]; do
    name=${names[RANDOM % 20]}
    case $((RANDOM % 6)) in
      0 | 1) verb=(disable) ;;
      2 | 3) verb=(enable) ;;
      4) verb=(confirm) ;;
      *) verb=(delay $((RANDOM % 3 * 30))) ;;
    esac
    # Into a file, not through a pipe: a Wine service that the first console
    # program of a session starts inherits the pipe and never closes it.
    (cd "$scratch" && timeout -k 5 60 wine vantorellc.exe "${verb[@]}" "$name" --location crun >"$log.out" 2>"$log.err")
    rc=$?
    # Both outputs whole on one line: a failure without a message must show
    # what the run printed, wherever it went.
    printf '%s\t%s %s\t%s | %s\n' $rc "${verb[*]}" "$name" "$(tr -d '\r' <"$log.err" | paste -sd' ')" \
      "$(tr -d '\r' <"$log.out" | paste -sd' ')" >>"$log"
  done
}
# The window's writer: double-clicks on the Enabled and Confirm cells of random
# rows, and closes every box that comes up ("changed meanwhile", the own entry).
window_writer() {
  local log=$1 rows row
  while [ $SECONDS -lt $deadline ]; do
    rows=$(drive grid 2>/dev/null | awk -F'\t' '$1 == "row"' | grep -c .)
    if [ "${rows:-0}" -gt 0 ]; then
      row=$((RANDOM % rows + 1))
      drive dblclick $(((RANDOM % 2) * 2)) "$row" >/dev/null 2>&1 && echo 0 >>"$log"
    fi
    while [ "$(drive has-box Vantorell 2>/dev/null)" = 1 ]; do
      echo box >>"$log"
      drive answer Vantorell OK >/dev/null 2>&1 || break
    done
  done
}
writers=()
for w in 1 2 3; do
  console_writer "$scratch/console$w.log" &
  writers+=($!)
done
window_writer "$scratch/window.log" &
writers+=($!)
wait "${writers[@]}"

# ---- every entry in exactly one of its two homes
poll 15 test ! -e "$scratch/StartupList.txt.new" # no save half done
drive close >/dev/null 2>&1 || fail "the window did not close"
drive wait-exit "$app_pid" 10 || fail "the program did not end"
lost=0 twice=0
for name in "${names[@]}"; do
  active=0
  reg_value "$user_run" "$name" >/dev/null && active=1
  recorded=$(tr -d '\r' <"$list" 2>/dev/null | grep -c "^$name;crun;")
  case $((active + recorded)) in
    1) ;;
    0) lost=$((lost + 1)); fail "$name is neither in its place nor recorded" ;;
    *) twice=$((twice + 1)); fail "$name is there $((active + recorded)) times (active $active, records $recorded)" ;;
  esac
done
ops=$(cat "$scratch"/console?.log | grep -c .)
changed=$(cut -f1 "$scratch"/console?.log | grep -cx 4)
failed_ops=$(cut -f1 "$scratch"/console?.log | grep -cvxE '0|4')
clicks=$(grep -cx 0 "$scratch/window.log")
boxes=$(grep -cx box "$scratch/window.log")
echo "writers: ${seconds} s, vantorellc operations $ops (changed meanwhile $changed, failed $failed_ops)," \
  "window double-clicks $clicks (boxes closed $boxes); entries lost $lost, twice $twice"
[ "$failed_ops" = 0 ] || fail "vantorellc failed: $(awk -F'\t' '$1 != 0 && $1 != 4' "$scratch"/console?.log | head -5)"
exit $failed
