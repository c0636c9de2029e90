#!/usr/bin/env bash
# Builds one portable zip from built executables: unpacked into any folder, the
# program runs from there and keeps its "StartupList.txt" beside itself.
#
# Usage: make-portable-zip.sh ARCH VERSION VANTORELL_EXE VANTORELLC_EXE OUTPUT_DIR [PICTURES_DIR]
#   ARCH          win64 or win32
#   VERSION       x.y.z (the project's version)
#   PICTURES_DIR  the help page's pictures (default: docs/help)
# Writes OUTPUT_DIR/Vantorell-VERSION-ARCH-portable.zip and prints its path. The zip holds
# vantorell.exe, vantorellc.exe, VantorellHelp.html, help\*.png, LICENSE.txt,
# THIRD-PARTY-NOTICES.txt, policy.schema.json (the format of "vantorellc apply")
# and vantorell.dsc.resource.json (the DSC resource, found through PATH) at its top level. Its entries carry a fixed time, so the same
# files give the same zip.
set -euo pipefail

if [ $# -lt 5 ] || [ $# -gt 6 ]; then
  echo "usage: $0 win64|win32 VERSION VANTORELL_EXE VANTORELLC_EXE OUTPUT_DIR [PICTURES_DIR]" >&2
  exit 2
fi
arch=$1 version=$2 gui_exe=$3 console_exe=$4 out_dir=$5
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
pictures=${6:-$root/docs/help}

case "$arch" in win64 | win32) ;; *) echo "ARCH must be win64 or win32, not '$arch'" >&2; exit 2 ;; esac
if ! [[ "$version" =~ ^[0-9]+(\.[0-9]+){0,3}$ ]]; then
  echo "VERSION must be numbers separated by dots, not '$version'" >&2
  exit 2
fi
for f in "$gui_exe" "$console_exe" "$root/docs/VantorellHelp.html" "$root/LICENSE" "$root/THIRD-PARTY-NOTICES.txt" \
  "$root/schema/policy.schema.json" "$root/packaging/fleet/vantorell.dsc.resource.json"; do
  [ -f "$f" ] || { echo "missing: $f" >&2; exit 1; }
done
command -v zip >/dev/null || { echo "zip not found (Debian: apt-get install zip)" >&2; exit 1; }

mkdir -p "$out_dir"
out_file="$(cd "$out_dir" && pwd)/Vantorell-$version-$arch-portable.zip"
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

mkdir "$stage/help"
cp "$gui_exe" "$stage/vantorell.exe"
cp "$console_exe" "$stage/vantorellc.exe"
cp "$root/docs/VantorellHelp.html" "$stage/"
cp "$pictures"/*.png "$stage/help/"
# Text files for Windows: CRLF line ends.
sed 's/\r*$/\r/' "$root/LICENSE" >"$stage/LICENSE.txt"
sed 's/\r*$/\r/' "$root/THIRD-PARTY-NOTICES.txt" >"$stage/THIRD-PARTY-NOTICES.txt"
cp "$root/schema/policy.schema.json" "$stage/"
"$root/installer/dsc-manifest.sh" "$version" >"$stage/vantorell.dsc.resource.json"

find "$stage" -exec touch -h -d '2000-01-01 00:00:00 UTC' {} +
rm -f "$out_file"
(cd "$stage" && LC_ALL=C TZ=UTC zip -q -X -D -9 "$out_file" \
  vantorell.exe vantorellc.exe VantorellHelp.html LICENSE.txt THIRD-PARTY-NOTICES.txt \
  policy.schema.json vantorell.dsc.resource.json \
  $(cd "$stage" && LC_ALL=C ls help/*.png))
echo "$out_file"
