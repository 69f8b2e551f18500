#!/bin/sh
# Builds Sestor.exe again in another folder and compares it with the one the
# tests ran: the same sources must give the same bytes wherever they are
# built, or the release could not be checked against its sources.
set -eu
cd "$(dirname "$0")/.."
again=build/windows-again
cmake --preset windows -B "$again" -DSESTOR_TESTS=OFF >/dev/null
cmake --build "$again" --target Sestor -j 2 >/dev/null
if cmp build/windows/Sestor.exe "$again/Sestor.exe"; then
  echo "Sestor.exe is the same from $again: reproducible"
else
  echo "Sestor.exe differs when built in $again" >&2
  exit 1
fi
