#!/usr/bin/env bash
# Installs what is needed, then runs every test: the native unit tests, the same
# under ASan and UBSan, the fuzz targets for a bounded time, and the 64-bit and
# 32-bit Windows builds' tests under Wine in a fresh prefix (the crash test runs
# in the 64-bit build only), then the release packages and their manifests.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

scripts/install-deps.sh

jobs=$(nproc)
status=0
stage_start=$SECONDS
stage() {  # prints how long the previous stage took, then the next stage's name
  echo "   ($((SECONDS - stage_start)) s)"
  stage_start=$SECONDS
  echo "== $*"
}

stage native
cmake --preset native >/dev/null
cmake --build --preset native -j "$jobs"
ctest --preset native || status=1

stage native with AddressSanitizer and UndefinedBehaviorSanitizer
cmake --preset native-asan >/dev/null
cmake --build --preset native-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --preset native-asan || status=1

stage "fuzz (libFuzzer, ${VANTORELL_FUZZ_SECONDS:-20} s a target)"
fuzz/run.sh "${VANTORELL_FUZZ_SECONDS:-20}" || status=1

. scripts/wine-env.sh
prefix_dir=$(mktemp -d)
trap 'wine_env_stop; rm -rf "$prefix_dir"' EXIT
wine_env_start "$prefix_dir/prefix"

for preset in win64 win32; do
  stage "$preset (under Wine)"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" --timeout 600 || status=1
done

# Once a run, after both Windows builds: the setups, the portable zips and the package manifests,
# checked against each other (scripts/check-manifests.py). The help pictures the 64-bit run took go in.
stage "package (setups, zips, manifests)"
scripts/package.sh || status=1

stage "done in $SECONDS s"
exit $status
