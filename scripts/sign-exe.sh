#!/bin/sh
# Signs a Windows program (Authenticode, SHA-256) with osslsigncode, for a
# publisher's release: the key on a hardware token or in a signing service
# reached through PKCS#11 (SIGN_KEY a pkcs11: address, SIGN_PKCS11_MODULE
# the token's module), or in a PEM file (a test, an old certificate).
#   scripts/sign-exe.sh IN.exe OUT.exe UNIX-TIME
#   SIGN_CERT=cert.pem SIGN_KEY='pkcs11:token=...;object=...'
#   SIGN_PKCS11_MODULE=/path/to/module.so SIGN_PASS_FILE=pin.txt
# The signature carries UNIX-TIME as its signing time, so the same key and
# file always give the same bytes. The PIN or password stays in its file:
# osslsigncode reads it from there, and it is on no command line, in no
# environment and in no message. Anything wrong stops with a plain message
# and no OUT.
set -eu
in=$1 out=$2 time=$3
rm -f "$out"

fail() {
  echo "make dist: the release can't be signed: $*" >&2
  exit 1
}

cert=${SIGN_CERT:-} key=${SIGN_KEY:-} pass=${SIGN_PASS_FILE:-}
[ -n "$cert" ] && [ -n "$key" ] || fail "SIGN_CERT and SIGN_KEY are both needed."
command -v osslsigncode >/dev/null || fail "osslsigncode is not installed (make deps)."
[ -r "$cert" ] && openssl x509 -in "$cert" -noout 2>/dev/null ||
  fail "SIGN_CERT ($cert) is not a readable PEM certificate."
openssl x509 -in "$cert" -noout -ext extendedKeyUsage 2>/dev/null |
  grep -q "Code Signing" ||
  fail "the certificate in SIGN_CERT is not for code signing (its extended key usage has no Code Signing)."
openssl x509 -in "$cert" -noout -checkend 0 >/dev/null 2>&1 ||
  fail "the certificate in SIGN_CERT has expired."
[ -z "$pass" ] || [ -r "$pass" ] || fail "SIGN_PASS_FILE ($pass) can't be read."

case $key in
  pkcs11:*)
    module=${SIGN_PKCS11_MODULE:-}
    [ -n "$module" ] || fail "a pkcs11: key needs SIGN_PKCS11_MODULE, the token's module."
    [ -r "$module" ] || fail "SIGN_PKCS11_MODULE ($module) does not exist."
    [ -n "$pass" ] || fail "a pkcs11: key needs SIGN_PASS_FILE, a file with the token's PIN."
    set -- -pkcs11module "$module" ;;
  *)
    [ -r "$key" ] || fail "SIGN_KEY ($key) is neither a pkcs11: address nor a readable key file."
    set -- ;;
esac
[ -z "$pass" ] || set -- "$@" -readpass "$pass"

log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! osslsigncode sign "$@" -certs "$cert" -key "$key" -h sha256 \
  -time "$time" -in "$in" -out "$out" >"$log" 2>&1; then
  rm -f "$out"
  said() { grep -q -e "$1" "$log"; }
  if said "PIN incorrect\|PIN_LEN_RANGE\|PIN_LOCKED"; then
    fail "the token refused the PIN in SIGN_PASS_FILE."
  elif said "Unable to load module\|Unable to load PKCS#11 module"; then
    fail "SIGN_PKCS11_MODULE ($module) is not a PKCS#11 module that loads."
  elif said "key values mismatch"; then
    fail "the certificate in SIGN_CERT does not belong to the key SIGN_KEY."
  elif said "bad decrypt\|bad password"; then
    fail "the password in SIGN_PASS_FILE does not open SIGN_KEY."
  elif said "private key was not found"; then
    fail "SIGN_KEY names no key on the token."
  fi
  echo "make dist: osslsigncode could not sign Sestor.exe:" >&2
  # Whatever it said, without the PIN, should a module ever echo it.
  if [ -n "$pass" ] && [ -s "$pass" ]; then
    grep -v -F -f "$pass" "$log" >&2 || true
  else
    cat "$log" >&2
  fi
  exit 1
fi
