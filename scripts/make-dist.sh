#!/bin/sh
# Packs the release: dist/Sestor-VERSION.zip with Sestor.exe (the tested
# build), LEGGIMI.txt, IMPRONTE.txt and SHA256SUMS.txt. The version is the
# project's (CMakeLists.txt), the files' time the last commit's, so the zip
# comes out the same, byte for byte, from every clean clone. `make dist`
# builds first.
#
# With SIGN_CERT and SIGN_KEY (see scripts/sign-exe.sh) Sestor.exe is signed
# first, at the same time as the zip's entries, so that a signed zip is
# reproducible too (not with SIGN_TIMESTAMP_URL: a timestamp differs every
# time), and the guide names the signer and how long the signature lasts.
# SESTOR_DIST names another folder than dist. Anything that fails leaves
# no zip of this version, not even an older one.
set -eu
cd "$(dirname "$0")/.."
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/windows/CMakeCache.txt)
[ -n "$version" ] || { echo "configure the windows preset first" >&2; exit 1; }
epoch=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || true)}
[ -n "$epoch" ] || { echo "no commit to date the files: set SOURCE_DATE_EPOCH" >&2; exit 1; }
out=${SESTOR_DIST:-dist}
zip=$out/Sestor-$version.zip
rm -f "$zip"

stage=$(mktemp -d)/Sestor-$version
trap 'rm -rf "$(dirname "$stage")"' EXIT
mkdir -p "$stage" "$out"
if env | grep -q '^SIGN_[A-Z0-9_]*=.'; then
  scripts/sign-exe.sh build/windows/Sestor.exe "$stage/Sestor.exe" "$epoch" \
    "$stage.signer"
  # The signer as Windows names it, and the signature's last day if any.
  { read -r signer && read -r last_day || true; } <"$stage.signer"
  # A signed exe never goes out with the unsigned guide.
  [ -n "${signer:-}" ] || { echo "make dist: the signer has no name" >&2; exit 1; }
  python3 release/make-leggimi.py "$version" "$stage" "$signer" "${last_day:-}"
else
  cp build/windows/Sestor.exe "$stage/"
  python3 release/make-leggimi.py "$version" "$stage"
fi
(cd "$stage" && sha256sum Sestor.exe LEGGIMI.txt IMPRONTE.txt >SHA256SUMS.txt)
python3 release/make-zip.py "$stage.zip" "$epoch" \
  "$stage/Sestor.exe" "$stage/LEGGIMI.txt" "$stage/IMPRONTE.txt" \
  "$stage/SHA256SUMS.txt"
mv "$stage.zip" "$zip"
sha256sum "$zip"
