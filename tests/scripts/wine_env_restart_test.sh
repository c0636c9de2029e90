#!/usr/bin/env bash
# The developer's path: ". scripts/wine-env.sh; wine_env_start PREFIX; ctest ..." run a
# second time with the same prefix. wine_env_start restarts the wineserver each time; Wine's
# services must then be started by wine_env_start itself, not by the first program under
# ctest, which would hand them ctest's output pipe and make ctest wait for ever.
#
# Starts the environment twice on the prepared prefix, then runs one quick Wine program with
# its output in a pipe: the reader must see the end of the pipe within the deadline.
#
# Usage: wine_env_restart_test.sh    (needs WINEPREFIX: a prepared prefix; skips without one)
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)

if [ -z "${WINEPREFIX:-}" ] || [ ! -f "$WINEPREFIX/.vantorell-ready" ]; then
  echo "SKIP: no prepared Wine prefix in WINEPREFIX (scripts/test.sh provides one)"
  exit 77
fi
# shellcheck source=../../scripts/wine-env.sh
. "$here/../../scripts/wine-env.sh"

failed=0
fail() {
  echo "FAIL: $*" >&2
  failed=1
}

prefix=$WINEPREFIX
for run in 1 2; do
  start=$SECONDS
  wine_env_start "$prefix" || fail "wine_env_start, run $run"
  echo "wine_env_start, run $run: $((SECONDS - start)) s"
done

# A pipe whose writers all end: the reader gets end of file. A service that inherited the
# pipe would keep it open, and the reader would run into its deadline (exit code 124).
out=$(mktemp)
start=$SECONDS
timeout -k 2 20 wine cmd /c echo vantorell-pipe 2>&1 | timeout 30 cat >"$out"
codes=("${PIPESTATUS[@]}")
echo "a Wine program under a pipe: $((SECONDS - start)) s, exit codes ${codes[*]}"
[ "${codes[1]}" = 0 ] || fail "the pipe stayed open after the program ended (a Wine service holds it)"
grep -q vantorell-pipe "$out" || fail "the program's output did not arrive: $(cat "$out")"
rm -f "$out"

# A virtual display that wine_env_start started for this test only.
if [ -n "${_vt_xvfb_pid:-}" ]; then kill "$_vt_xvfb_pid" 2>/dev/null; fi
[ "$failed" = 0 ] && echo "PASS"
exit $failed
