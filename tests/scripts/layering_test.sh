#!/usr/bin/env bash
# The rooms below the user interface never reach up into it, nor into Windows:
# no file under src/control, src/monitor, src/policy or src/store includes a
# header of src/ui or <windows.h>. They tell what changed (control::EntriesChanged)
# and the window draws it; the platform stands for Windows.
# Usage: layering_test.sh [SOURCE_ROOT]
set -uo pipefail
root=${1:-$(cd "$(dirname "$0")/../.." && pwd)}
found=$(cd "$root" && grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"](ui/[^">]*|windows\.h)[">]' \
  src/control src/monitor src/policy src/store)
if [ -n "$found" ]; then
  echo "FAIL: below the user interface, these include ui/ or <windows.h>:" >&2
  echo "$found" >&2
  exit 1
fi
echo "layering: ok"
