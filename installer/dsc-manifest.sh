#!/usr/bin/env bash
# Prints packaging/fleet/vantorell.dsc.resource.json with the program's version
# as the resource's version, for the setup and the portable zip.
#   dsc-manifest.sh VERSION
set -euo pipefail
version=${1:?usage: dsc-manifest.sh VERSION}
root=$(cd "$(dirname "$0")/.." && pwd)
sed "0,/\"version\": \"[^\"]*\"/s//\"version\": \"$version\"/" "$root/packaging/fleet/vantorell.dsc.resource.json"
