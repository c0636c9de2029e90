#!/usr/bin/env bash
# Installs what is needed, then runs every test: the native unit tests under
# ASan and UBSan, the fuzz targets for a bounded time, and the 64-bit and
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

# The native unit tests run once, in the build with AddressSanitizer and
# UndefinedBehaviorSanitizer: the same tests as the plain "native" preset, which
# a second build would only run again without the checks.
stage native unit tests with AddressSanitizer and UndefinedBehaviorSanitizer
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

# The writers' meeting runs one minute here, two on demand: long enough to meet
# every case, short enough for CI. The soak runs its two-minute version.
export VT_WRITERS_SECONDS=${VT_WRITERS_SECONDS:-60}
for preset in win64 win32; do
  stage "$preset (under Wine)"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" --timeout 600 || status=1
done

# The cost benchmark, as a short smoke run: it must work; its figures are not checked (noisy machines).
stage "cost benchmark (smoke run)"
bench/costs.sh --smoke --memory-detail build/win64 build/win32 || status=1

# Once a run, after both Windows builds: the setups, the portable zips and the package manifests,
# checked against each other (scripts/check-manifests.py). The help pictures the 64-bit run took go in.
stage "package (setups, zips, manifests)"
scripts/package.sh || status=1

stage "done in $SECONDS s"
exit $status
