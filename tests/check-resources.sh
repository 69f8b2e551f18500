#!/bin/sh
# Decompiles the resources of the built program and compares them with the
# expected ones: the dialog template control for control, the icon (its
# header: 48x48, 8 bits per pixel), the version block and the manifest.
# Of the icon's pixels only the bitmap header is kept. Then the DLLs it
# imports: only those every Windows has, nothing that a static link should
# have taken in.
set -eu
exe=$1
expected=$2
windres=${WINDRES:-i686-w64-mingw32-windres}
"$windres" -i "$exe" -O rc |
  awk '/RT_ICON \*\//      { icon = 1 }
       icon && /^BEGIN/     { print; getline; print; next }
       icon && /^  0x/      { next }
       icon && /^END/       { icon = 0 }
                            { print }' |
  diff -u "$expected" -
echo "resources match"
imports=$("${OBJDUMP:-i686-w64-mingw32-objdump}" -p "$exe" |
  sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'a-z' 'A-Z' | sort | tr '\n' ' ')
if [ "$imports" != "KERNEL32.DLL MSVCRT.DLL OLE32.DLL SHELL32.DLL SHLWAPI.DLL USER32.DLL " ]; then
  echo "Sestor.exe imports $imports" >&2
  exit 1
fi
echo "imports: $imports"
