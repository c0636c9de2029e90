#!/usr/bin/env bash
# Builds the fuzz targets (preset "fuzz": clang, libFuzzer, ASan, UBSan) and
# runs each over its corpus in fuzz/corpus/<target>/ for a bounded time.
#   fuzz/run.sh [SECONDS_PER_TARGET] [TARGET...]     default 20 s, every target
# New inputs go to a scratch folder, not into the repository; to keep the
# interesting ones, merge them in by hand:
#   build/fuzz/fuzz/list_file_fuzz -merge=1 fuzz/corpus/list_file SCRATCH_FOLDER
# Exits non-zero when a target crashes, hangs or a sanitizer reports; the
# input that did it is left in build/fuzz/findings/.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-20}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(list_file old_list command_line name_list policy)

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)"

findings=build/fuzz/findings
mkdir -p "$findings"
status=0
for t in "${targets[@]}"; do
  scratch=$(mktemp -d)
  echo "== fuzz $t (${seconds}s)"
  if ! UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
       "build/fuzz/fuzz/${t}_fuzz" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
       -artifact_prefix="$findings/${t}-" -print_final_stats=1 "$scratch" "fuzz/corpus/$t" \
       >"$findings/$t.log" 2>&1; then
    echo "fuzz $t: FAILED (see $findings/$t.log)" >&2
    tail -40 "$findings/$t.log" >&2
    status=1
  else
    grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb' "$findings/$t.log" | tr '\n' ' '
    echo
  fi
  rm -rf "$scratch"
done
exit $status
