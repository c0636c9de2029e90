# Shared by the benchmarks that fill the user's Run key of a Wine prefix and
# time vantorellc against it (bench/policy.sh, bench/list.sh). Sourced from the
# project's root.
#
# After sourcing: a prefix (WINEPREFIX when it names a prepared one, else a
# throw-away one), $scratch (a folder of its own), $run_key, and an exit trap
# that imports $scratch/remove.reg (when there) and removes what it made.

# shellcheck source=../scripts/wine-env.sh
. scripts/wine-env.sh
own_prefix=""
if [ -z "${WINEPREFIX:-}" ] || [ ! -f "$WINEPREFIX/.vantorell-ready" ]; then
  own_prefix=$(mktemp -d)
  wine_env_start "$own_prefix/prefix" || exit 1
fi
export WINEDEBUG=-all

scratch=$(mktemp -d)
run_key='HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run'
remove_values() {
  [ -f "$scratch/remove.reg" ] && wine regedit /s "$(winepath -w "$scratch/remove.reg")" >/dev/null 2>&1
}
bench_cleanup() {
  remove_values
  rm -rf "$scratch"
  [ -n "$own_prefix" ] && { wine_env_stop; rm -rf "$own_prefix"; }
}
trap bench_cleanup EXIT

# time_one PROGRAM [ARGS...]: milliseconds of one run of a program of $scratch.
time_one() {
  local start end
  start=$(date +%s%N)
  wine "$scratch/$1" "${@:2}" >/dev/null 2>&1
  end=$(date +%s%N)
  echo $(((end - start) / 1000000))
}
# The median of numbers, one a line.
median() { sort -n | awk '{ a[NR] = $1 } END { print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2 }'; }
