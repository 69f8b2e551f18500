#!/bin/sh
# Runs a command with an X display and a warm Wine server: starts Xvfb when
# DISPLAY is unset, and stops what it started when the command ends or is
# stopped (Ctrl-C, a closed terminal).
set -u
here=$(cd "$(dirname "$0")/.." && pwd)
: "${WINEPREFIX:=$here/build/wineprefix}"
export WINEPREFIX WINEDEBUG=-all LC_ALL=C.UTF-8
. "$here/scripts/virtual-display.sh"
if [ -z "${DISPLAY:-}" ]; then
  start_xvfb 1280x1024 || exit 1
  echo "No DISPLAY: using a virtual one (Xvfb) on $DISPLAY" >&2
fi
"$here/scripts/wine-prefix.sh" "$WINEPREFIX" || exit 1
wineserver -p 2>/dev/null
# Start Wine's own background processes now, with no output to inherit: a
# test runner that reads a test's output through a pipe would otherwise wait
# for them to close it.
wine cmd /c exit >/dev/null 2>&1 </dev/null
run_and_wait "$@"
exit $status
