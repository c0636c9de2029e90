#!/usr/bin/env bash
# What each entry's file is, under Wine with real signed files, through
# "vantorellc list --json" and in the real window: the test makes its own roots and signing
# certificates with openssl, signs copies of a small exe with osslsigncode,
# makes one root trusted and one signer distrusted in this Wine prefix only,
# and checks the file, signature, signer and version facts of each entry, and
# which of them a policy rule by signer matches ("vantorellc apply --check").
#   identity_test.sh VANTORELLC_EXE VTDRIVER_EXE VTMARKER_EXE
# Needs WINEPREFIX (a prepared prefix, as scripts/test.sh provides); skips
# (exit 77) without one. Never touches the host's own certificate stores.
set -euo pipefail

exe=${1:?usage: identity_test.sh VANTORELLC_EXE VTDRIVER_EXE VTMARKER_EXE}
driver=${2:?} marker=${3:?}
if [ -z "${WINEPREFIX:-}" ] || [ ! -d "$WINEPREFIX" ]; then
  echo "identity: WINEPREFIX is not set to a prepared prefix; skipped" >&2
  exit 77
fi
for tool in openssl osslsigncode python3; do
  command -v "$tool" >/dev/null || { echo "identity: FAIL: $tool is missing (scripts/install-deps.sh)" >&2; exit 1; }
done
export WINEDEBUG=-all LC_ALL=C.UTF-8

run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
values=(VtSigned VtTampered VtUntrusted VtServer VtDistrusted VtPlain VtMissing VtVersion VtRundll VtEnv VtMup VtNtUnc)
dir="$WINEPREFIX/drive_c/vtident"
work=$(mktemp -d)
link=""
cleanup() {
  for v in "${values[@]}"; do wine reg delete "$run_key" /v "$v" /f >/dev/null 2>&1 || true; done
  [ -n "$link" ] && rm -f "$link"
  rm -rf "$work" "$dir"
}
trap cleanup EXIT
fail() {
  echo "identity: FAIL: $*" >&2
  [ -f "$work/out.json" ] && { echo "--- output:" >&2; cat "$work/out.json" >&2; }
  exit 1
}

# ---- certificates: root A (trusted here), root B (not), signers under them
cd "$work"
root() {
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.pem" -days 3650 -subj "/CN=$2" \
    -addext "basicConstraints=critical,CA:true" -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
}
signer() {  # name, common name, root, extended key usage
  printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=%s\n' "$4" >"$1.ext"
  openssl req -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.csr" -subj "/CN=$2/O=Vantorell Tests" 2>/dev/null
  openssl x509 -req -in "$1.csr" -CA "$3.pem" -CAkey "$3.key" -CAcreateserial -out "$1.pem" -days 3650 \
    -extfile "$1.ext" 2>/dev/null
}
sign() {  # signer, input, output
  osslsigncode sign -certs "$1.pem" -key "$1.key" -n "Vantorell test" -in "$2" -out "$3" >/dev/null
}
root rootA "Vantorell Test Root A"
root rootB "Vantorell Test Root B"
signer good "Vantorell Test Signer" rootA codeSigning
signer stranger "Stranger Signer" rootB codeSigning
signer server "Server Only" rootA serverAuth
signer banned "Banned Signer" rootA codeSigning
openssl x509 -in rootA.pem -outform DER -out rootA.der
openssl x509 -in banned.pem -outform DER -out banned.der
wine "$driver" add-cert Root "$(winepath -w "$work/rootA.der")" || fail "cannot trust root A in the prefix"
wine "$driver" add-cert Disallowed "$(winepath -w "$work/banned.der")" || fail "cannot distrust the banned signer"

# ---- the files
mkdir -p "$dir/x dll"
cp "$marker" "$dir/plain.exe"
sign good "$marker" "$dir/signed.exe"
sign stranger "$marker" "$dir/untrusted.exe"
sign server "$marker" "$dir/server.exe"
sign banned "$marker" "$dir/distrusted.exe"
cp "$dir/signed.exe" "$dir/tampered.exe"
# One byte of the code changed after signing (far from the signature at the end).
offset=1100
byte=$(od -An -tu1 -j $offset -N1 "$dir/tampered.exe" | tr -d ' ')
printf "$(printf '\\%03o' $(((byte + 1) % 256)))" | dd of="$dir/tampered.exe" bs=1 seek=$offset conv=notrunc 2>/dev/null
cp "$exe" "$dir/withversion.exe"
cp "$marker" "$dir/x dll/x.dll"

add() { wine reg add "$run_key" /v "$1" /t "${3:-REG_SZ}" /d "$2" /f >/dev/null; }
add VtSigned '"C:\vtident\signed.exe" /quiet'
add VtTampered 'C:\vtident\tampered.exe'
add VtUntrusted 'C:\vtident\untrusted.exe'
add VtServer 'C:\vtident\server.exe'
add VtDistrusted 'C:\vtident\distrusted.exe'
add VtPlain 'C:\vtident\plain.exe -x'
add VtMissing 'C:\vtident\gone.exe'
add VtVersion 'C:\vtident\withversion.exe'
add VtRundll 'rundll32.exe "C:\vtident\x dll\x.dll",Entry 1'
add VtEnv '%SystemDrive%\vtident\signed.exe' REG_EXPAND_SZ
# Shares behind device paths: never opened, whatever the prefix.
add VtMup '\\?\GLOBALROOT\Device\Mup\vtserver\share\x.exe'
add VtNtUnc '\??\UNC\vtserver\share\y.exe'

startup=$(wine "$driver" startup-folder | tr -d '\r')
wine "$driver" make-shortcut "$startup\\Vt Link.lnk" 'C:\vtident\signed.exe' '/min' || fail "cannot make the shortcut"
link=$(winepath -u "$startup\\Vt Link.lnk" | tr -d '\r')

check() {
  python3 - "$work/out.json" <<'PY'
import json, sys
entries = {e["name"]: e for e in json.load(open(sys.argv[1], encoding="utf-8"))}
signer = "Vantorell Test Signer"
expect = {
    # name: file, fileExists, signature, signer
    "VtSigned": (r"C:\vtident\signed.exe", True, "verified", signer),
    "VtTampered": (r"C:\vtident\tampered.exe", True, "invalid", None),
    "VtUntrusted": (r"C:\vtident\untrusted.exe", True, "untrusted", "Stranger Signer"),
    "VtServer": (r"C:\vtident\server.exe", True, "untrusted", "Server Only"),
    "VtDistrusted": (r"C:\vtident\distrusted.exe", True, "distrusted", "Banned Signer"),
    "VtPlain": (r"C:\vtident\plain.exe", True, "unsigned", ""),
    "VtMissing": (r"C:\vtident\gone.exe", False, "missing", ""),
    "VtVersion": (r"C:\vtident\withversion.exe", True, "unsigned", ""),
    "VtRundll": (r"C:\vtident\x dll\x.dll", True, "unsigned", ""),
    "VtEnv": (r"C:\vtident\signed.exe", True, "verified", signer),
    "Vt Link.lnk": (r"C:\vtident\signed.exe", True, "verified", signer),
    "VtMup": (r"\\?\GLOBALROOT\Device\Mup\vtserver\share\x.exe", False, "unknown", ""),
    "VtNtUnc": (r"\??\UNC\vtserver\share\y.exe", False, "unknown", ""),
}
bad = []
for name, (file, exists, state, who) in expect.items():
    e = entries.get(name)
    if e is None:
        bad.append(f"{name}: not listed")
        continue
    if e["file"].lower() != file.lower(): bad.append(f"{name}: file {e['file']!r}, expected {file!r}")
    if e["fileExists"] is not exists: bad.append(f"{name}: fileExists {e['fileExists']}")
    if e["signature"] != state: bad.append(f"{name}: signature {e['signature']!r}, expected {state!r}")
    if who is not None and e["signer"] != who: bad.append(f"{name}: signer {e['signer']!r}, expected {who!r}")
v = entries.get("VtVersion", {})
if v.get("company") != "Vantorell" or v.get("description") != "Vantorell console companion" or not v.get("fileVersion"):
    bad.append(f"VtVersion: version facts {v.get('company')!r} {v.get('description')!r} {v.get('fileVersion')!r}")
if bad:
    print("\n".join(bad), file=sys.stderr)
    sys.exit(1)
PY
}

# Wine runs every program elevated: an elevated program neither reads nor
# writes the user's own cache, which every program of the user can write
# (its own in %ProgramData%\Vantorell needs rights Wine does not keep).
cache="$WINEPREFIX/drive_c/users/$(whoami)/AppData/Local/Vantorell/identity-cache.txt"
rm -f "$cache"
wine "$exe" list --json >"$work/out.json" 2>"$work/err.txt" || fail "list failed: $(cat "$work/err.txt")"
check || fail "cold run"
[ ! -f "$cache" ] || fail "an elevated list wrote the user's cache at $cache"
# Again: the same answers.
wine "$exe" list --json >"$work/out.json" 2>"$work/err.txt" || fail "second list failed"
check || fail "second run"
# A signed file swapped for other bytes of its size, its times put back: checked again.
cp -p "$dir/signed.exe" "$work/signed.keep"
cp "$dir/tampered.exe" "$dir/signed.exe" && touch -r "$work/signed.keep" "$dir/signed.exe"
[ "$(stat -c %s.%Y "$dir/signed.exe")" = "$(stat -c %s.%Y "$work/signed.keep")" ] || fail "the swap changed size or time"
wine "$exe" list --json >"$work/out.json" 2>"$work/err.txt" || fail "list after the swap failed"
python3 - "$work/out.json" <<'PY' || fail "the swapped file is still verified"
import json, sys
e = {e["name"]: e for e in json.load(open(sys.argv[1], encoding="utf-8"))}["VtSigned"]
sys.exit(0 if e["signature"] == "invalid" else f"VtSigned: {e['signature']}")
PY
cp -p "$work/signed.keep" "$dir/signed.exe"
# The table has the Publisher column.
wine "$exe" list >"$work/table.txt" 2>&1 || fail "list as a table failed"
grep -q "Publisher" "$work/table.txt" || fail "no Publisher column"
grep -q "(not verified) Vantorell" "$work/table.txt" || fail "no '(not verified) Vantorell' for the version exe"
# A policy rule by signer matches the files that signer verifiably signed: not
# the tampered copy of the same signed exe, nor another root's signer.
# check_matches WHAT ARGS...: `apply ARGS --check --json` drifts, and its rule disables the
# three entries the test signer signed, and nothing else.
check_matches() {
  local what=$1 rc=0
  shift
  wine "$exe" apply "$@" --check --json >"$work/out.json" 2>"$work/err.txt" || rc=$?
  [ "$rc" = 1 ] || fail "apply --check of $what: exit code $rc, expected 1 (drift): $(cat "$work/err.txt")"
  python3 - "$work/out.json" <<'PY' || fail "$what matched other entries"
import json, sys
items = json.load(open(sys.argv[1], encoding="utf-8"))["items"]
matched = sorted(i["name"] for i in items if i["action"] == "disable")
if matched != ["Vt Link.lnk", "VtEnv", "VtSigned"]:
    sys.exit(f"matched {matched}")
PY
}
echo '{"version": 1, "entries": [{"signer": "vantorell test SIGNER", "state": "disabled"}]}' >"$work/signer.json"
check_matches "a signer rule" "$(winepath -w "$work/signer.json")"
# Pinned: the signing certificate's SHA-256 (as openssl prints it, colons made
# blanks) and its issuer name the same three, and the list shows both.
fp=$(openssl x509 -in "$work/good.pem" -noout -fingerprint -sha256 | sed 's/.*=//; s/:/ /g')
issuer=$(openssl x509 -in "$work/good.pem" -noout -issuer | sed 's/.*CN *= *//')
hex=$(echo "$fp" | tr -d ' ' | tr 'A-F' 'a-f')
wine "$exe" list --json >"$work/out.json" 2>"$work/err.txt" || fail "list failed"
python3 - "$work/out.json" "$hex" "$issuer" <<'PY' || fail "the list does not pin VtSigned's certificate"
import json, sys
e = {e["name"]: e for e in json.load(open(sys.argv[1], encoding="utf-8"))}["VtSigned"]
if e["signerSha256"] != sys.argv[2] or len(e["signerSha1"]) != 40 or e["issuer"] != sys.argv[3] or e["inline"]:
    sys.exit(f"{e['signerSha256']!r} {e['signerSha1']!r} {e['issuer']!r}, expected {sys.argv[2]!r} {sys.argv[3]!r}")
PY
echo "{\"version\": 1, \"entries\": [{\"signerThumbprint\": \"$fp\", \"issuer\": \"$issuer\", \"state\": \"disabled\"}]}" >"$work/pinned.json"
check_matches "a pinned rule" - <"$work/pinned.json"
# ---- the real window: the Publisher column, and the tampered exe drawn red
# whatever its name's list (VT_IDENTITY_PICTURE=FILE.png keeps a picture of it).
gui="$(dirname "$exe")/vantorell.exe"
if [ -f "$gui" ] && [ -n "${DISPLAY:-}" ]; then
  desk="vtident-$$"
  drive() { wine "$driver" --desktop "$desk" "$@" | tr -d '\r'; return "${PIPESTATUS[0]}"; }
  # The grid shows what fits: the shares' rows have been checked above.
  wine reg delete "$run_key" /v VtMup /f >/dev/null && wine reg delete "$run_key" /v VtNtUnc /f >/dev/null
  cp "$gui" "$work/vantorell.exe"
  values+=(Vantorell VtSigned2 VtSwapped VtLater)  # the window's own Run value goes with the rest
  sign good "$marker" "$dir/signed2.exe"
  add VtSigned2 'C:\vtident\signed2.exe'
  (cd "$work" && exec wine explorer "/desktop=$desk,1024x768" vantorell.exe >/dev/null 2>&1) &
  # A loaded machine can take half a minute to bring up the desktop and the window.
  drive --timeout 90 wait-main visible 90 >/dev/null || fail "the window did not appear"
  # Identification runs after the window is on screen; the grid fills in as it comes.
  publisher() { drive grid | awk -F'\t' -v n="$1" '$1 == "row" && $3 == n { print $9 }'; }
  deadline=$((SECONDS + 30))
  until [ "$(publisher VtSigned)" = "Vantorell Test Signer" ] || [ $SECONDS -ge $deadline ]; do sleep 0.5; done
  [ "$(publisher VtSigned)" = "Vantorell Test Signer" ] || fail "the window's Publisher of VtSigned: '$(publisher VtSigned)'"
  row=$(drive grid | awk -F'\t' '$1 == "row" { n++ } $1 == "row" && $3 == "VtTampered" { print n; exit }')
  read -r x y < <(drive cell-corner 1 "$row")
  sleep 0.5  # the last repaint reaches the X server
  red=$(import -window root -crop "110x14+$((x + 2))+$((y + 1))" +repage png:- 2>/dev/null |
    convert png:- -fill black +opaque '#FF0000' -fill white -opaque '#FF0000' -format '%[fx:mean*w*h]' info: 2>/dev/null)
  [ "${red%.*}" -gt 10 ] 2>/dev/null || fail "VtTampered is not drawn red ($red red pixels)"
  if [ -n "${VT_IDENTITY_PICTURE:-}" ]; then
    # Two pictures: the names with their colours, then scrolled to the Publisher column.
    read -r x y w h < <(drive rect)
    import -window root -crop "${w}x${h}+${x}+${y}" +repage "$VT_IDENTITY_PICTURE" 2>/dev/null || fail "import"
    drive scroll 400 >/dev/null || fail "the grid did not scroll"
    sleep 0.5
    import -window root -crop "${w}x${h}+${x}+${y}" +repage "${VT_IDENTITY_PICTURE%.png}-publisher.png" 2>/dev/null ||
      fail "import"
  fi
  # In the window's own memory, as in a cache: a file swapped for other bytes
  # of its size with its times put back, then a signer distrusted, both after
  # a first check. A new entry for each file is looked at again, not taken
  # from what the window knows.
  deadline=$((SECONDS + 30))
  until [ "$(publisher VtSigned2)" = "Vantorell Test Signer" ] || [ $SECONDS -ge $deadline ]; do sleep 0.5; done
  [ "$(publisher VtSigned2)" = "Vantorell Test Signer" ] || fail "the window's Publisher of VtSigned2: '$(publisher VtSigned2)'"
  cp "$dir/tampered.exe" "$dir/signed.exe" && touch -r "$work/signed.keep" "$dir/signed.exe"
  add VtSwapped 'C:\vtident\signed.exe /swapped'
  deadline=$((SECONDS + 30))
  until [ "$(publisher VtSwapped)" = "invalid" ] || [ $SECONDS -ge $deadline ]; do sleep 0.5; done
  [ "$(publisher VtSwapped)" = "invalid" ] || fail "the swapped file in the window: '$(publisher VtSwapped)'"
  cp -p "$work/signed.keep" "$dir/signed.exe"
  openssl x509 -in good.pem -outform DER -out good.der
  wine "$driver" add-cert Disallowed "$(winepath -w "$work/good.der")" || fail "cannot distrust the signer"
  add VtLater 'C:\vtident\signed2.exe /later'
  deadline=$((SECONDS + 30))
  until [ "$(publisher VtLater)" = "distrusted" ] || [ $SECONDS -ge $deadline ]; do sleep 0.5; done
  [ "$(publisher VtLater)" = "distrusted" ] || fail "a signer distrusted after its file was checked: '$(publisher VtLater)'"
  drive set-check 'Minimize Vantorell instead of closing it (this allows Vantorell to monitor the programs)' 0 >/dev/null
  drive close >/dev/null || fail "the window did not close"
  (cd "$work" && timeout -k 2 30 wine vantorell.exe -u >/dev/null 2>&1) || fail "vantorell.exe -u"
  wine reg delete 'HKCU\Software\Vantorell' /f >/dev/null 2>&1 || true  # the options the close saved
fi
echo "identity: ok"
