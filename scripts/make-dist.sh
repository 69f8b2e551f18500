#!/bin/sh
# Packs the release: dist/Sestor-VERSION.zip with Sestor.exe (the tested
# build), LEGGIMI.txt, IMPRONTE.txt and SHA256SUMS.txt. The version is the
# project's (CMakeLists.txt), the files' time the last commit's, so the zip
# comes out the same, byte for byte, from every clean clone. `make dist`
# builds first.
#
# With SIGN_CERT and SIGN_KEY (see scripts/sign-exe.sh) Sestor.exe is signed
# first, at the same time as the zip's entries, so that a signed zip is
# reproducible too, and the guide names the signer. SESTOR_DIST names
# another folder than dist. Anything that fails leaves no zip.
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
signer=""
if [ -n "${SIGN_CERT:-}${SIGN_KEY:-}${SIGN_PKCS11_MODULE:-}${SIGN_PASS_FILE:-}" ]; then
  scripts/sign-exe.sh build/windows/Sestor.exe "$stage/Sestor.exe" "$epoch"
  # The name Windows shows for the signer: the certificate's common name.
  signer=$(openssl x509 -in "$SIGN_CERT" -noout -subject -nameopt utf8,sep_multiline,lname |
    sed -n 's/^ *commonName=//p')
else
  cp build/windows/Sestor.exe "$stage/"
fi
python3 release/make-leggimi.py "$version" "$stage" "$signer"
(cd "$stage" && sha256sum Sestor.exe LEGGIMI.txt IMPRONTE.txt >SHA256SUMS.txt)
python3 release/make-zip.py "$stage.zip" "$epoch" \
  "$stage/Sestor.exe" "$stage/LEGGIMI.txt" "$stage/IMPRONTE.txt" \
  "$stage/SHA256SUMS.txt"
mv "$stage.zip" "$zip"
sha256sum "$zip"
