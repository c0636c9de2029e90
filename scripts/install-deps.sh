#!/usr/bin/env bash
# Installs what building and testing Vantorell needs on Debian 12. Idempotent:
# does nothing when everything is already there.
set -euo pipefail

packages=(cmake ninja-build g++ googletest libgtest-dev libgmock-dev mingw-w64 clang libclang-rt-14-dev
          wine wine64 wine32:i386 xvfb xdotool imagemagick x11-utils nsis zip unzip python3-yaml
          nlohmann-json3-dev osslsigncode openssl python3-jsonschema)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
$sudo apt-get update -qq
# With recommends: Wine's fonts and X libraries are recommends, and the GUI tests need them.
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
