#!/bin/sh
# The release as `make dist` packs it (scripts/make-dist.sh, into folders of
# its own): the texts it carries, and a signed release with a throwaway CA
# and a code-signing key on a SoftHSM2 token, as a publisher's hardware
# token would hold it.
#   tests/release.sh     (after the windows preset has built Sestor.exe)
set -u
here=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
# Within the certificates' days, and the same for every zip of this run.
epoch=$(date +%s)
pin=8642-sestor-token-pin
tutte=$(awk '$1 == 0 { print $4 }' "$here/release/digests.txt")

. "$here/tests/checks.sh"
explain() { sed 's/^/  | /' "$work/out"; }
said() { grep -q -e "$1" "$work/out"; }
# dist NAME [VAR=VALUE...]: make-dist.sh into NAME/; its words in out.
dist() {
  name=$1
  shift
  env SESTOR_DIST="$work/$name" SOURCE_DATE_EPOCH="$epoch" \
    PATH="$work/bin:$PATH" "$@" sh "$here/scripts/make-dist.sh" >"$work/out" 2>&1
}
zip_of() { ls "$work/$1"/Sestor-*.zip 2>/dev/null; }
unpack() {  # unpack NAME: the zip's files in NAME/x
  python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' \
    "$(zip_of "$1")" "$work/$1/x"
}
sums_match() { (cd "$work/$1/x" && sha256sum --quiet -c SHA256SUMS.txt); }
has() { grep -q -F -e "$2" "$work/$1/x/$3"; }

# Unsigned: the exe the tests ran, and the texts that go with it.
dist plain
check "make dist packs" [ $? -eq 0 ]
unpack plain
check "the sums cover what is packed" sums_match plain
check "the exe is the tested one" cmp -s "$here/build/windows/Sestor.exe" plain/x/Sestor.exe
check "the guide checks the file of Tutte" has plain "\$h -eq \"$tutte\"" LEGGIMI.txt
check "the table counts the Italian way" has plain " 622.614.630   11.456.109.192" IMPRONTE.txt
check "an unsigned guide names no signer" not has plain "Firme digitali" LEGGIMI.txt

# A throwaway CA, a code-signing certificate from it, one without that
# purpose, and the key on a SoftHSM2 token of its own.
subject=/CN=Editore\ di\ Prova\ Srl
openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 \
  -subj "/CN=Sestor Test CA" -addext basicConstraints=critical,CA:TRUE \
  -addext keyUsage=critical,keyCertSign >/dev/null 2>&1
openssl req -newkey rsa:2048 -nodes -keyout signer.key -out signer.csr \
  -subj "$subject" >/dev/null 2>&1
for kind in codeSigning serverAuth; do
  printf 'keyUsage=critical,digitalSignature\nextendedKeyUsage=%s\n' "$kind" >ext
  openssl x509 -req -in signer.csr -CA ca.pem -CAkey ca.key -CAcreateserial \
    -days 1 -extfile ext -out "$kind.pem" >/dev/null 2>&1
done
mkdir tokens
printf 'directories.tokendir = %s/tokens\nobjectstore.backend = file\n' "$work" >softhsm2.conf
export SOFTHSM2_CONF="$work/softhsm2.conf"
openssl pkcs8 -topk8 -nocrypt -in signer.key -out signer.p8
# The token's own tool takes the PIN as its vendor's would; make dist never does.
softhsm2-util --init-token --free --label sestor --pin "$pin" --so-pin 97531 >/dev/null &&
  softhsm2-util --import signer.p8 --token sestor --label release --id 01 \
    --pin "$pin" >/dev/null
check "the token holds the key" [ $? -eq 0 ]
printf '%s\n' "$pin" >pin.txt
echo 1111 >wrong-pin.txt
module=$(ls /usr/lib/softhsm/libsofthsm2.so /usr/lib/*/softhsm/libsofthsm2.so 2>/dev/null | head -n 1)

# osslsigncode as make dist runs it, noting its command line and environment.
mkdir bin
real=$(command -v osslsigncode)
cat >bin/osslsigncode <<WRAP
#!/bin/sh
{ echo "\$@"; env; } >>"$work/osslsigncode.calls"
exec "$real" "\$@"
WRAP
chmod +x bin/osslsigncode
signed() {  # signed NAME CERT PASS_FILE
  dist "$1" SIGN_CERT="$work/$2" SIGN_KEY="pkcs11:token=sestor;object=release" \
    SIGN_PKCS11_MODULE="$module" SIGN_PASS_FILE="$work/$3"
}

signed signed codeSigning.pem pin.txt
check "a signed make dist packs" [ $? -eq 0 ]
unpack signed
osslsigncode verify -CAfile ca.pem -in signed/x/Sestor.exe >verify.txt 2>&1
check "the exe's signature verifies" [ $? -eq 0 ]
check "it is SHA-256" grep -q "Message digest algorithm  : SHA256" verify.txt
check "signed at the release's time" \
  grep -q "Signing time: $(date -u -d "@$epoch" '+%b %e %H:%M:%S %Y')" verify.txt
check "the sums cover the signed exe" sums_match signed
check "the guide names the signer" has signed "    Editore di Prova Srl" LEGGIMI.txt
check "the guide shows where to see it" has signed '"Firme digitali"' LEGGIMI.txt
signed again codeSigning.pem pin.txt
check "a signed zip is the same twice" cmp -s "$(zip_of signed)" "$(zip_of again)"
check "the PIN is on no command line, environment or word of make dist" \
  not grep -r -q -F "$pin" osslsigncode.calls out signed/x

signed wrong codeSigning.pem wrong-pin.txt
check "a wrong PIN stops make dist" [ $? -ne 0 ]
check "a wrong PIN is named" said "refused the PIN"
check "a wrong PIN leaves no zip" [ -z "$(zip_of wrong)" ]
signed server serverAuth.pem pin.txt
check "a certificate for another purpose stops make dist" [ $? -ne 0 ]
check "its purpose is named" said "not for code signing"
check "it leaves no zip" [ -z "$(zip_of server)" ]
dist nomodule SIGN_CERT="$work/codeSigning.pem" SIGN_PASS_FILE="$work/pin.txt" \
  SIGN_KEY="pkcs11:token=sestor;object=release" SIGN_PKCS11_MODULE=/nonexistent.so
check "a missing module is named" said "SIGN_PKCS11_MODULE"
dist mismatch SIGN_CERT="$work/ca.pem" SIGN_KEY="$work/signer.key"
check "a CA certificate is not for signing code" said "not for code signing"

report release
