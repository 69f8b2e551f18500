#!/bin/sh
# Signs a Windows program (Authenticode, SHA-256) with osslsigncode, for a
# publisher's release: the key on a hardware token or in a signing service
# reached through PKCS#11 (SIGN_KEY a pkcs11: address, SIGN_PKCS11_MODULE
# the token's module), or in a PEM file (a test, an old certificate).
#   scripts/sign-exe.sh IN.exe OUT.exe UNIX-TIME SIGNER-FILE
#   SIGN_CERT=chain.pem SIGN_KEY='pkcs11:token=...;object=...'
#   SIGN_PKCS11_MODULE=/path/to/module.so SIGN_PASS_FILE=/elsewhere/pin.txt
#   [SIGN_TIMESTAMP_URL=http://timestamp.authority/]
# SIGN_CERT holds the publisher's certificate and the authorities' that
# issued it, in any order (scripts/signing-chain.py). Without a timestamp
# the signature carries UNIX-TIME as its signing time, so the same key and
# file always give the same bytes; with one (RFC 3161, from the authority
# at SIGN_TIMESTAMP_URL) it stays valid after the certificate expires, but
# the authority's time and serial make every signing differ. SIGNER-FILE
# gets the signer's name and the signature's last day (none when
# timestamped). The PIN or password stays in its file: osslsigncode reads
# it from there, and it is on no command line, in no environment and in no
# message. Anything wrong stops with a plain message and no OUT.
set -eu
in=$1 out=$2 time=$3 signer=$4
here=$(cd "$(dirname "$0")/.." && pwd)
rm -f "$out" "$signer"

fail() {
  echo "make dist: the release can't be signed: $*" >&2
  exit 1
}

cert=${SIGN_CERT:-} key=${SIGN_KEY:-} pass=${SIGN_PASS_FILE:-}
module=${SIGN_PKCS11_MODULE:-} stamp=${SIGN_TIMESTAMP_URL:-}
if [ -z "$cert" ]; then
  given=$(env | sed -n 's/^\(SIGN_[A-Z0-9_]*\)=.\{1,\}/\1/p' | sort | tr '\n' ' ')
  fail "SIGN_CERT is missing (set: ${given% }): a release is signed with SIGN_CERT and SIGN_KEY both, or not at all."
fi
[ -n "$key" ] || fail "SIGN_CERT is set, but SIGN_KEY is not: a release is signed with both."
command -v osslsigncode >/dev/null || fail "osslsigncode is not installed (make deps)."
[ -r "$cert" ] || fail "SIGN_CERT ($cert) can't be read."
if [ -n "$pass" ]; then
  [ -r "$pass" ] || fail "SIGN_PASS_FILE ($pass) can't be read."
  # Untracked files in the work tree go into make test's copy of it.
  case $(cd "$(dirname "$pass")" && pwd -P)/ in
    "$(cd "$here" && pwd -P)"/*)
      fail "SIGN_PASS_FILE ($pass) is inside the project folder, where copies of the work tree would take it along: keep the PIN or password elsewhere, for example in your home folder." ;;
  esac
fi

case $key in
  pkcs11:*)
    [ -n "$module" ] || fail "a pkcs11: key needs SIGN_PKCS11_MODULE, the token's module."
    [ -r "$module" ] || fail "SIGN_PKCS11_MODULE ($module) does not exist."
    [ -n "$pass" ] || fail "a pkcs11: key needs SIGN_PASS_FILE, a file with the token's PIN."
    keyfile=""
    set -- -pkcs11module "$module" ;;
  *)
    [ -r "$key" ] || fail "SIGN_KEY ($key) is neither a pkcs11: address nor a readable key file."
    keyfile=$key
    set -- ;;
esac
[ -z "$pass" ] || set -- "$@" -readpass "$pass"
if [ -n "$stamp" ]; then
  set -- "$@" -ts "$stamp"
else
  set -- "$@" -time "$time"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Debian's own Python, which has the cryptography package (make deps).
/usr/bin/python3 "$here/scripts/signing-chain.py" "$cert" "$work/chain.pem" \
  "$([ -n "$stamp" ] && echo yes || echo no)" ${keyfile:+"$keyfile" "$pass"} \
  >"$work/signer" || exit 1

log=$work/log
if ! osslsigncode sign "$@" -certs "$work/chain.pem" -key "$key" -h sha256 \
  -in "$in" -out "$out" >"$log" 2>&1; then
  rm -f "$out"
  said() { grep -q -e "$1" "$log"; }
  if said "PIN incorrect\|PIN_LEN_RANGE\|PIN_LOCKED"; then
    fail "the token refused the PIN in SIGN_PASS_FILE. A hardware token locks itself after a few wrong tries (often 3): check the PIN before trying again."
  elif said "Unable to load module\|Unable to load PKCS#11 module"; then
    fail "SIGN_PKCS11_MODULE ($module) is not a PKCS#11 module that loads."
  elif said "key values mismatch"; then
    fail "the certificate in SIGN_CERT does not belong to the key SIGN_KEY."
  elif said "bad decrypt\|bad password"; then
    fail "the password in SIGN_PASS_FILE does not open SIGN_KEY."
  elif said "private key was not found"; then
    fail "SIGN_KEY names no key on the token."
  elif [ -n "$stamp" ] && said "TSA\|[Tt]imestamp\|timed out\|connect"; then
    fail "the time-stamp authority at SIGN_TIMESTAMP_URL ($stamp) gave no timestamp."
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
mv "$work/signer" "$signer"
