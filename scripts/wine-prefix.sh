#!/bin/sh
# Creates the Wine prefix that the tests and `make run` use, inside build/.
set -eu
prefix=$1
[ -f "$prefix/.sestor-ready" ] && exit 0
# A 32-bit prefix: the program and its tests are 32-bit.
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEARCH=win32
mkdir -p "$prefix"
# A server kept alive in this prefix (wineserver -p) would make -w wait forever.
wineserver -k 2>/dev/null || true
wineboot -i >/dev/null 2>&1
wineserver -w
# Without a window manager Wine waits 2 s for every hidden window; an
# unmanaged X11 driver does not.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
wineserver -w
touch "$prefix/.sestor-ready"
