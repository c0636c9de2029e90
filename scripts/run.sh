#!/usr/bin/env bash
# Builds the 64-bit Vantorell and starts it under Wine. Without a display it
# starts a virtual one and saves a screenshot of the running window.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset win64 >/dev/null
cmake --build --preset win64 -j "$(nproc)" --target vantorell vantorellc

exe="build/win64/vantorell.exe"
cp -f docs/VantorellHelp.html build/win64/ 2>/dev/null || true

. scripts/wine-env.sh
had_display=1
{ [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; } || had_display=0
wine_env_start "$(pwd)/build/wineprefix"

if [ "$had_display" = 1 ]; then
  echo "Starting Vantorell on $DISPLAY"
  wine "$exe"
  wine_env_stop
  exit 0
fi

trap wine_env_stop EXIT
wine "$exe" &
app=$!
shot="$(pwd)/build/vantorell-screenshot.png"
for _ in $(seq 1 100); do
  if xdotool search --name '^Vantorell$' >/dev/null 2>&1; then break; fi
  sleep 0.2
done
sleep 1
import -window root "$shot"
echo "Vantorell is running on the virtual display $DISPLAY; screenshot saved to $shot"
echo "Press Ctrl+C to stop it."
wait $app || true
