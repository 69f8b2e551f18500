#!/bin/sh
# Takes a picture of the real dialog for the README: starts Sestor.exe under
# Wine on the current display, waits for its window and saves it as a PNG.
#   scripts/screenshot.sh docs/sestor.png     (make screenshot gives a display)
set -eu
out=${1:-docs/sestor.png}
cd "$(dirname "$0")/.."
mkdir -p "$(dirname "$out")"
cmake/wine-run.sh build/windows/Sestor.exe &
wine_pid=$!
window=$(timeout 30 xdotool search --sync --name "Sestor - Generazione combinazioni")
sleep 1
import -window "$(echo "$window" | head -n 1)" "$out"
xdotool search --name "Sestor - Generazione combinazioni" windowclose 2>/dev/null || true
kill "$wine_pid" 2>/dev/null || true
wineserver -k 2>/dev/null || true
echo "saved $out"
