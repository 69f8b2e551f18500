#!/bin/sh
# Takes a picture of the real dialog for the README: starts Sestor.exe under
# Wine on the current display, waits for its window and saves it as a PNG.
# With a scale (percent), the prefix's display DPI is set to it for the
# picture (the dialog manager scales the dialog for a program that declares
# itself DPI-aware), then put back to 100 %.
#   scripts/screenshot.sh docs/sestor.png [150]  (make screenshot gives a display)
set -eu
out=${1:-docs/sestor.png}
scale=${2:-100}
cd "$(dirname "$0")/.."
mkdir -p "$(dirname "$out")"
set_dpi() {
  wineserver -k 2>/dev/null || true
  wineserver -w
  cmake/wine-run.sh reg add 'HKCU\Control Panel\Desktop' /v LogPixels \
    /t REG_DWORD /d "$1" /f >/dev/null 2>&1
}
set_dpi $((96 * scale / 100))
trap 'set_dpi 96' EXIT
cmake/wine-run.sh build/windows/Sestor.exe &
wine_pid=$!
window=$(timeout 30 xdotool search --sync --name "Sestor - Generazione combinazioni")
sleep 1
import -window "$(echo "$window" | head -n 1)" "$out"
xdotool search --name "Sestor - Generazione combinazioni" windowclose 2>/dev/null || true
kill "$wine_pid" 2>/dev/null || true
wineserver -k 2>/dev/null || true
echo "saved $out"
