#!/bin/sh
# Runs a Windows program under Wine the way the tests expect: the project's
# own prefix, a Windows-1252 code page (or the locale in SESTOR_LOCALE, from
# which Wine takes another), Wine's chatter off.
here=$(cd "$(dirname "$0")/.." && pwd)
: "${WINEPREFIX:=$here/build/wineprefix}"
export WINEPREFIX
export WINEDEBUG=-all
export LC_ALL="${SESTOR_LOCALE:-C.UTF-8}"
# The first test after the presets alone makes the prefix (once).
"$here/scripts/wine-prefix.sh" "$WINEPREFIX" || exit 1
exec wine "$@"
