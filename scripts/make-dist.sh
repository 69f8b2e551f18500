#!/bin/sh
# Packs the release: dist/Sestor-VERSION.zip with Sestor.exe (the tested
# build), LEGGIMI.txt, IMPRONTE.txt and SHA256SUMS.txt. The version is the project's
# (CMakeLists.txt), the files' time the last commit's, so the zip comes out
# the same, byte for byte, from every clean clone. `make dist` builds first.
set -eu
cd "$(dirname "$0")/.."
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/windows/CMakeCache.txt)
[ -n "$version" ] || { echo "configure the windows preset first" >&2; exit 1; }
epoch=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || true)}
[ -n "$epoch" ] || { echo "no commit to date the files: set SOURCE_DATE_EPOCH" >&2; exit 1; }

stage=build/dist/Sestor-$version
rm -rf "$stage"
mkdir -p "$stage" dist
cp build/windows/Sestor.exe "$stage/"
python3 release/make-leggimi.py "$version" "$stage"
(cd "$stage" && sha256sum Sestor.exe LEGGIMI.txt IMPRONTE.txt >SHA256SUMS.txt)
zip=dist/Sestor-$version.zip
rm -f "$zip"
python3 release/make-zip.py "$zip" "$epoch" \
  "$stage/Sestor.exe" "$stage/LEGGIMI.txt" "$stage/IMPRONTE.txt" \
  "$stage/SHA256SUMS.txt"
sha256sum "$zip"
