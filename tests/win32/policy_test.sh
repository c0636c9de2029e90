#!/usr/bin/env bash
# Policies with the real vantorellc.exe under Wine, as a fleet tool runs them:
# an export applied back changes nothing; a policy that disables two entries
# and delays one is drift, is applied, and is then compliant, with the
# registry and the list holding the result; a second apply writes no file;
# "dsc test" answers with _inDesiredState; "apply -" reads the policy from a
# pipe; "dsc get" follows the DSC manifest's schema.
#   policy_test.sh PATH/TO/vantorellc.exe
# Needs WINEPREFIX: a prepared prefix of the test run (scripts/test.sh makes
# one); without it the test skips (exit 77).
set -euo pipefail

exe=${1:?usage: policy_test.sh PATH/TO/vantorellc.exe}
if [ -z "${WINEPREFIX:-}" ] || [ ! -d "$WINEPREFIX" ]; then
  echo "policy: WINEPREFIX is not set to a prepared prefix; skipped" >&2
  exit 77
fi
export WINEDEBUG=-all LC_ALL=C.UTF-8

run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\run'
work=$(mktemp -d)
cleanup() {
  for v in VtPolA VtPolB VtPolC VtHta; do wine reg delete "$run_key" /v $v /f >/dev/null 2>&1 || true; done
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "policy: FAIL: $*" >&2
  echo "--- out:" >&2; cat "$work/out" >&2 || true
  echo "--- err:" >&2; cat "$work/err" >&2 || true
  exit 1
}

# Runs vantorellc; its output lands in $work/out (LF line ends) and
# $work/err, its exit code in $rc.
vc() {
  rc=0
  wine "$work/vantorellc.exe" "$@" >"$work/out.raw" 2>"$work/err" || rc=$?
  tr -d '\r' <"$work/out.raw" >"$work/out"
}
expect() {  # expect CODE WHAT: the exit code, and an empty standard error unless it failed
  [ "$rc" = "$1" ] || fail "$2: exit code $rc, expected $1"
  [ "$1" != 0 ] || [ ! -s "$work/err" ] || fail "$2: standard error is not empty"
}
has() { grep -qF -- "$1" "$work/out" || fail "missing in the output: $1"; }

cp "$exe" "$work/vantorellc.exe"
for v in A B C; do wine reg add "$run_key" /v VtPol$v /d "C:\\vt\\$v.exe" /f >/dev/null; done

vc export
expect 0 "export"
cp "$work/out" "$work/export.json"
has '{"name": "VtPolA", "location": "crun", "state": "enabled", "delay": 0, "confirm": false}'

# The first matching rule decides: C is delayed, A and B fall to the wildcard.
cat >"$work/policy.json" <<'EOF'
{"version": 1,
 "entries": [
   {"name": "vtpolc", "state": "enabled", "delay": 45},
   {"name": "VtPol?", "location": "crun", "state": "disabled"}
 ],
 "unlisted": "keep"}
EOF
# The fleet examples' policies: the two Intune scripts carry the same one.
fleet="$(dirname "$0")/../../packaging/fleet"
for s in detect remediate; do
  sed -n "/^\$policy = @'/,/^'@/p" "$fleet/intune/$s.ps1" | sed '1d;$d' | tr -d '\r' >"$work/intune-$s.json"
done
cmp -s "$work/intune-detect.json" "$work/intune-remediate.json" || fail "detect.ps1 and remediate.ps1 differ in their policy"
examples=("$work/intune-detect.json" "$fleet/group-policy/vantorell-policy.json" "$fleet/ansible/policy.json")

# The export, the policy and the examples are what the schema describes.
python3 - "$(dirname "$0")/../../schema/policy.schema.json" "$work/export.json" "$work/policy.json" "${examples[@]}" <<'EOF' ||
import json, sys, jsonschema
schema = json.load(open(sys.argv[1], encoding="utf-8"))
for path in sys.argv[2:]:
    jsonschema.validate(json.load(open(path, encoding="utf-8")), schema, cls=jsonschema.Draft202012Validator)
EOF
  fail "a policy does not follow schema/policy.schema.json"
vc apply "$work/export.json" --json
expect 0 "apply of the export"
has '"changed": false'
has '"compliant": true'

vc apply "$work/policy.json" --check
expect 1 "check before"
# The policy on standard input ("apply -"), as the fleet scripts pipe it.
vc apply - --check --json <"$work/policy.json"
expect 1 "piped check before"
has '"compliant": false'
[ ! -s "$work/err" ] || fail "drift wrote to standard error"
vc apply - --json <"$work/policy.json"
expect 0 "apply"
has '"changed": true'
has '"action": "delay"'
vc apply "$work/policy.json" --check --json
expect 0 "check after"
has '"compliant": true'

for v in A B C; do
  if wine reg query "$run_key" /v VtPol$v >/dev/null 2>&1; then fail "VtPol$v is still in the Run key"; fi
done
tr -d '\r' <"$work/StartupList.txt" >"$work/list"
for line in 'VtPolA;crun;C:\vt\A.exe;;0;0' 'VtPolB;crun;C:\vt\B.exe;;0;0' 'VtPolC;crun;C:\vt\C.exe;;0;45'; do
  grep -qxF -- "$line" "$work/list" || fail "not in the list: $line"
done
vc list --json
has '"state": "2", "name": "VtPolC", "location": "crun", "view": "", "windowsOff": false, "confirm": "0", "delay": "45"'

# A second apply writes nothing: every file beside the program keeps its time.
stamps() { find "$work" -maxdepth 3 -type f ! -name 'out*' ! -name err -printf '%p %T@\n' | sort; }
before=$(stamps)
sleep 0.05
vc apply "$work/policy.json" --json
expect 0 "second apply"
has '"changed": false'
[ "$(stamps)" = "$before" ] || fail "the second apply wrote a file"

# The calls of the fleet scripts: a check of each example is compliant or drift, never a bad policy.
for f in "${examples[@]}"; do
  vc apply "$f" --check --json
  [ "$rc" = 0 ] || [ "$rc" = 1 ] || fail "apply --check of $f: exit code $rc"
  [ ! -s "$work/err" ] || fail "apply --check of $f wrote to standard error"
done

vc dsc test <"$work/policy.json"
expect 0 "dsc test"
has '"_inDesiredState":true'
echo '{"version": 1, "entries": [{"name": "VtPolA", "state": "enabled"}]}' >"$work/desired.json"
vc dsc test <"$work/desired.json"
expect 0 "dsc test, drift"
has '"_inDesiredState":false'
vc dsc set <"$work/desired.json"
expect 0 "dsc set"
wine reg query "$run_key" /v VtPolA >/dev/null 2>&1 || fail "dsc set did not enable VtPolA"
vc dsc get <"$work/desired.json"
expect 0 "dsc get"
has '{"name":"VtPolA","location":"crun","state":"enabled","delay":0,"confirm":false}'
# What "dsc get" emits is what the DSC manifest's schema allows, also the
# "kind" of a program that put itself back beside its record.
wine reg add "$run_key" /v VtPolB /d 'C:\vt\B.exe' /f >/dev/null
vc dsc get </dev/null
expect 0 "dsc get with a twin"
has '"kind":"recorded"'
python3 - "$fleet/vantorell.dsc.resource.json" "$work/out" <<'EOF' ||
import json, sys, jsonschema
schema = json.load(open(sys.argv[1], encoding="utf-8"))["schema"]["embedded"]
jsonschema.validate(json.load(open(sys.argv[2], encoding="utf-8")), schema, cls=jsonschema.Draft202012Validator)
EOF
  fail "dsc get does not follow the manifest's schema"
# A Windows host that runs code from its command line: listed as the host,
# marked inline, and an allow-list by signer disables it.
wine reg add "$run_key" /v VtHta /d 'mshta vbscript:Execute(CreateObject(1))(window.close)' /f >/dev/null
vc list --json
expect 0 "list with an inline host"
grep -F '"name": "VtHta"' "$work/out" | grep -qiF '\\system32\\mshta.exe", "fileExists": true, "inline": true' ||
  fail "VtHta is not listed as mshta.exe running inline code"
echo '{"version": 1, "entries": [{"signer": "Microsoft Windows", "state": "enabled"},
  {"name": "VtPol*", "state": "enabled"}], "unlisted": "disable"}' >"$work/allow.json"
vc apply - --check --json <"$work/allow.json"
expect 1 "allow-list check"
grep -A3 -F '"name": "VtHta"' "$work/out" | grep -qF '"action": "disable"' || fail "the allow-list does not disable VtHta"
wine reg delete "$run_key" /v VtHta /f >/dev/null
echo "policy: ok"
