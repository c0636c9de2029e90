#!/usr/bin/env bash
# Identification costs under Wine: 100 distinct signed files of about 1 MB,
# their root trusted in a throw-away prefix, then bench/IdentityBenchWin32.cpp
# times a floor of one WinVerifyTrust per file against Vantorell's
# identification, cold (empty cache) and warm (all cached), side by side in
# one run: in one process (as vantorellc does it), and as the window does it
# (looked at in this process, the files the cache lacks examined by helpers).
#   bench/identity.sh BUILD_DIR        (a win64 or win32 build with its tests)
# Goals: cold <= 1.3 x the floor; warm <= 20 ms for the 100 entries.
set -euo pipefail
build=${1:?usage: identity.sh BUILD_DIR}
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$build" && pwd)
work=$(mktemp -d)
prefix=$(mktemp -d)
cleanup() {
  WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1 || true
  rm -rf "$work" "$prefix"
}
trap cleanup EXIT
# shellcheck source=../scripts/wine-env.sh
. "$here/../scripts/wine-env.sh"
wine_env_start "$prefix"
export WINEDEBUG=-all

cd "$work"
openssl req -x509 -newkey rsa:2048 -nodes -keyout root.key -out root.pem -days 3650 -subj "/CN=Bench Root" \
  -addext "basicConstraints=critical,CA:true" -addext "keyUsage=critical,keyCertSign" 2>/dev/null
printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' >sign.ext
openssl req -newkey rsa:2048 -nodes -keyout sign.key -out sign.csr -subj "/CN=Bench Signer" 2>/dev/null
openssl x509 -req -in sign.csr -CA root.pem -CAkey root.key -CAcreateserial -out sign.pem -days 3650 \
  -extfile sign.ext 2>/dev/null
openssl x509 -in root.pem -outform DER -out root.der
wine "$build/tests/vtdriver.exe" add-cert Root "$(winepath -w "$work/root.der")"
dir="$prefix/drive_c/bench"
mkdir -p "$dir"
for i in $(seq -w 1 100); do
  # About 1 MB each, all different: the small exe with 1 MB of its own bytes after it.
  { cat "$build/tests/vtmarker.exe"; head -c 1000000 /dev/urandom; } >"$work/raw.exe"
  osslsigncode sign -certs sign.pem -key sign.key -in "$work/raw.exe" -out "$dir/f$i.exe" >/dev/null
done
wine "$build/bench/identity_bench.exe" 'C:\bench' | tr -d '\r'
wine_env_stop
