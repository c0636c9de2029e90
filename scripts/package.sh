#!/usr/bin/env bash
# Builds the setup programs: the Release builds of vantorell.exe and
# vantorellc.exe for 64-bit and 32-bit Windows (CMake presets win64, win32),
# then one NSIS installer per architecture:
#   build/dist/Vantorell-<version>-win64-setup.exe
#   build/dist/Vantorell-<version>-win32-setup.exe
#
# Usage: scripts/package.sh [win64] [win32]    (both when none is named)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

scripts/install-deps.sh

archs=("$@")
[ ${#archs[@]} -eq 0 ] && archs=(win64 win32)

# The version is the one of the top-level project() call.
version=$(sed -n 's/^project(Vantorell VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt | head -n 1)
if [ -z "$version" ]; then
  echo "no 'project(Vantorell VERSION x.y.z ...)' in CMakeLists.txt" >&2
  exit 1
fi

dist="$root/build/dist"
for arch in "${archs[@]}"; do
  case "$arch" in win64 | win32) ;; *) echo "unknown architecture '$arch' (win64, win32)" >&2; exit 2 ;; esac
  echo "== $arch"
  cmake --preset "$arch" >/dev/null
  cmake --build --preset "$arch" --target vantorell vantorellc -j "$(nproc)"
  installer/make-installer.sh "$arch" "$version" "build/$arch/vantorell.exe" "build/$arch/vantorellc.exe" "$dist"
done
