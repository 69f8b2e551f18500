#!/bin/sh
# Creates the Wine prefix that the tests and `make run` use, inside build/.
set -eu
prefix=$1
[ -f "$prefix/.sestor-ready-2" ] && exit 0
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
# A program that crashes gets Wine's "Program Error" dialog, which nobody
# closes on a virtual display: the test would hang until its time-out. Off,
# the debugger prints the backtrace and the process ends, failing the test.
wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD \
  /d 0 /f >/dev/null 2>&1
wineserver -w
touch "$prefix/.sestor-ready-2"
