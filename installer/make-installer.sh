#!/usr/bin/env bash
# Builds one setup program from built executables with makensis.
#
# Usage: make-installer.sh ARCH VERSION VANTORELL_EXE VANTORELLC_EXE OUTPUT_DIR [PICTURES_DIR]
#   ARCH          win64 or win32
#   VERSION       x.y.z (the project's version)
#   PICTURES_DIR  the help page's pictures (default: docs/help)
# Writes OUTPUT_DIR/Vantorell-VERSION-ARCH-setup.exe and prints its path.
set -euo pipefail

if [ $# -lt 5 ] || [ $# -gt 6 ]; then
  echo "usage: $0 win64|win32 VERSION VANTORELL_EXE VANTORELLC_EXE OUTPUT_DIR [PICTURES_DIR]" >&2
  exit 2
fi
arch=$1 version=$2 gui_exe=$3 console_exe=$4 out_dir=$5
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
pictures=$(cd "${6:-$root/docs/help}" && pwd)

case "$arch" in win64 | win32) ;; *) echo "ARCH must be win64 or win32, not '$arch'" >&2; exit 2 ;; esac
if ! [[ "$version" =~ ^[0-9]+(\.[0-9]+){0,3}$ ]]; then
  echo "VERSION must be numbers separated by dots, not '$version'" >&2
  exit 2
fi
for f in "$gui_exe" "$console_exe"; do
  [ -f "$f" ] || { echo "missing: $f" >&2; exit 1; }
done
command -v makensis >/dev/null || { echo "makensis not found (Debian: apt-get install nsis)" >&2; exit 1; }

# The file version resource wants four numbers.
vi_version=$version
while [ "$(tr -cd . <<<"$vi_version" | wc -c)" -lt 3 ]; do vi_version="$vi_version.0"; done

mkdir -p "$out_dir"
out_file="$(cd "$out_dir" && pwd)/Vantorell-$version-$arch-setup.exe"
abs() { echo "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"; }

# Text files for Windows (and the licence page): CRLF line ends.
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
sed 's/\r*$/\r/' "$root/LICENSE" >"$stage/LICENSE.txt"
sed 's/\r*$/\r/' "$root/THIRD-PARTY-NOTICES.txt" >"$stage/THIRD-PARTY-NOTICES.txt"
"$root/installer/dsc-manifest.sh" "$version" >"$stage/vantorell.dsc.resource.json"

makensis -V2 -NOCD \
  "-DARCH=$arch" "-DVERSION=$version" "-DVI_VERSION=$vi_version" \
  "-DVANTORELL_EXE=$(abs "$gui_exe")" "-DVANTORELLC_EXE=$(abs "$console_exe")" \
  "-DHELP_FILE=$root/docs/VantorellHelp.html" "-DICON_FILE=$root/src/app/gui/vantorell.ico" \
  "-DHELP_PICTURES=$pictures" "-DLICENSE_FILE=$stage/LICENSE.txt" "-DNOTICES_FILE=$stage/THIRD-PARTY-NOTICES.txt" \
  "-DSCHEMA_FILE=$root/schema/policy.schema.json" "-DDSC_MANIFEST=$stage/vantorell.dsc.resource.json" \
  "-DOUTFILE=$out_file" \
  "$here/vantorell.nsi" >&2
echo "$out_file"
