#!/usr/bin/env bash
# The rooms below the user interface never reach up into it, nor into Windows:
# no file under src/control, src/impact, src/monitor, src/policy or src/store
# includes a header of src/ui or <windows.h>. They tell what changed
# (control::EntriesChanged) and the window draws it; the platform stands for
# Windows. The base room (src/base) knows nothing of any other room: it
# includes only the standard library and the JSON library.
# Usage: layering_test.sh [SOURCE_ROOT]
set -uo pipefail
root=${1:-$(cd "$(dirname "$0")/../.." && pwd)}
include='^[[:space:]]*#[[:space:]]*include[[:space:]]*'
status=0
found=$(cd "$root" && grep -rnE "$include"'[<"](ui/[^">]*|windows\.h)[">]' src/control src/impact src/monitor src/policy src/store)
if [ -n "$found" ]; then
  echo "FAIL: below the user interface, these include ui/ or <windows.h>:" >&2
  echo "$found" >&2
  status=1
fi
found=$(cd "$root" && grep -rnE "$include"'"' src/base | grep -vE 'include[[:space:]]*"base/')
found+=$(cd "$root" && grep -rnE "$include"'<windows\.h>' src/base)
if [ -n "$found" ]; then
  echo "FAIL: the base room includes another room or <windows.h>:" >&2
  echo "$found" >&2
  status=1
fi
[ $status = 0 ] && echo "layering: ok"
exit $status
