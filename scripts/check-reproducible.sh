#!/bin/sh
# Builds Sestor.exe again from a copy of the sources in another folder, into
# another build folder, and compares it with the one the tests ran: the same
# sources must give the same bytes wherever they are, or the release could
# not be checked against its sources.
set -eu
cd "$(dirname "$0")/.."
elsewhere=build/elsewhere
rm -rf "$elsewhere"
mkdir -p "$elsewhere/sources"
git ls-files -co --exclude-standard -z | xargs -0 cp --parents -t "$elsewhere/sources"
(cd "$elsewhere/sources" &&
  cmake --preset windows -B ../build -DSESTOR_TESTS=OFF >/dev/null &&
  cmake --build ../build --target Sestor -j 2 >/dev/null)
if cmp build/windows/Sestor.exe "$elsewhere/build/Sestor.exe"; then
  echo "Sestor.exe is the same from $elsewhere: reproducible"
else
  echo "Sestor.exe differs when built from $elsewhere" >&2
  exit 1
fi
