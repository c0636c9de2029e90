#!/usr/bin/env bash
# Builds everything a release publishes: the Release builds of vantorell.exe and
# vantorellc.exe for 64-bit and 32-bit Windows (CMake presets win64, win32), then
# per architecture an NSIS installer and a portable zip, and from them the package
# manifests filled in with the version and each artifact's SHA-256:
#   build/dist/Vantorell-<version>-win64-setup.exe      -win32-setup.exe
#   build/dist/Vantorell-<version>-win64-portable.zip   -win32-portable.zip
#   build/dist/winget/Vantorell.Vantorell.yaml, .installer.yaml, .locale.en-US.yaml
#   build/dist/scoop/vantorell.json
#   build/dist/SHA256SUMS
# and checks the manifests against the artifacts (scripts/check-manifests.py).
#
# The manifests point at VANTORELL_RELEASE_URL (default: a placeholder of the
# project's own); the release step sets it to where the files are published.
# The help page's pictures are those the test run took (build/win64/help-pictures),
# else the copies kept in docs/help.
#
# Usage: scripts/package.sh [win64] [win32]    (both when none is named; the
#        manifests are written only when both are built)
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
release_url=${VANTORELL_RELEASE_URL:-https://releases.vantorell.invalid/download/v$version}
release_url=${release_url%/}

pictures="$root/docs/help"
fresh="$root/build/win64/help-pictures"
if [ -d "$fresh" ] && [ -z "$(comm -3 <(cd "$pictures" && ls ./*.png) <(cd "$fresh" && ls ./*.png 2>/dev/null))" ]; then
  pictures=$fresh
fi
echo "help pictures: ${pictures#"$root"/}"

dist="$root/build/dist"
mkdir -p "$dist"
for arch in "${archs[@]}"; do
  case "$arch" in win64 | win32) ;; *) echo "unknown architecture '$arch' (win64, win32)" >&2; exit 2 ;; esac
  echo "== $arch"
  cmake --preset "$arch" >/dev/null
  cmake --build --preset "$arch" --target vantorell vantorellc -j "$(nproc)"
  installer/make-installer.sh "$arch" "$version" "build/$arch/vantorell.exe" "build/$arch/vantorellc.exe" "$dist" \
    "$pictures"
  installer/make-portable-zip.sh "$arch" "$version" "build/$arch/vantorell.exe" "build/$arch/vantorellc.exe" "$dist" \
    "$pictures"
done

built() { [ -f "$dist/Vantorell-$version-$1-setup.exe" ] && [ -f "$dist/Vantorell-$version-$1-portable.zip" ]; }
if ! built win64 || ! built win32; then
  echo "manifests skipped: they need both architectures"
  exit 0
fi

echo "== manifests"
sha() { sha256sum "$dist/$1" | cut -d' ' -f1 | tr a-f A-F; }
fill() { # TEMPLATE OUTPUT
  mkdir -p "$(dirname "$2")"
  sed -e "/^# Template:/d" -e "s|@VERSION@|$version|g" -e "s|@RELEASE_URL@|$release_url|g" \
    -e "s|@SHA256_WIN64_SETUP@|$(sha "Vantorell-$version-win64-setup.exe")|g" \
    -e "s|@SHA256_WIN32_SETUP@|$(sha "Vantorell-$version-win32-setup.exe")|g" \
    -e "s|@SHA256_WIN64_ZIP@|$(sha "Vantorell-$version-win64-portable.zip" | tr A-F a-f)|g" \
    -e "s|@SHA256_WIN32_ZIP@|$(sha "Vantorell-$version-win32-portable.zip" | tr A-F a-f)|g" \
    "$1" >"$2"
}
rm -rf "$dist/winget" "$dist/scoop"
for f in packaging/winget/*.yaml; do fill "$f" "$dist/winget/$(basename "$f")"; done
fill packaging/scoop/vantorell.json "$dist/scoop/vantorell.json"
(cd "$dist" && sha256sum Vantorell-"$version"-*-setup.exe Vantorell-"$version"-*-portable.zip >SHA256SUMS)

python3 scripts/check-manifests.py "$dist" "$version"
ls -l "$dist" | sed 1d
