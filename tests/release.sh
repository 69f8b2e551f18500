#!/bin/sh
# The release as `make dist` packs it (scripts/make-dist.sh, into folders of
# its own), checked by what a user and a publisher see: each zip against
# what it must and must not hold, unsigned, signed until the certificate's
# last day and signed with a timestamp, through a throwaway CA with an
# intermediate, a code-signing key on a SoftHSM2 token (as a publisher's
# hardware token would hold it) or in a PEM file, and a time-stamp
# authority on 127.0.0.1; then every way signing must refuse or warn.
#   tests/release.sh     (after the windows preset has built Sestor.exe)
set -u
here=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d) tsa=""
trap 'kill ${tsa:-} 2>/dev/null; rm -rf "$work"' EXIT
cd "$work"
# Within the certificates' days, and the same for every zip of this run.
epoch=$(date +%s)
pin=8642-sestor-token-pin
tutte=$(awk '$1 == 0 { print $4 }' "$here/release/digests.txt")
cr=$(printf '\r')  # the guide's lines end in CR LF
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$here/build/windows/CMakeCache.txt")

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

# cert NAME KEY ISSUER PURPOSE FROM TO SUBJECT: NAME.pem for the key KEY.key
# (made when missing), issued by ISSUER.pem with ISSUER.key ("-": itself),
# valid FROM to TO days from now, for ca, codeSigning, serverAuth or
# timeStamping.
cert() {
  /usr/bin/python3 - "$@" <<'PY'
import datetime, os, sys
from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import rsa
from cryptography.x509.oid import ExtendedKeyUsageOID as Usage
name, key_name, issuer, purpose, start, end, subject = sys.argv[1:]
def key(n):
    if not os.path.exists(n + ".key"):
        k = rsa.generate_private_key(public_exponent=65537, key_size=2048)
        open(n + ".key", "wb").write(k.private_bytes(
            serialization.Encoding.PEM, serialization.PrivateFormat.PKCS8,
            serialization.NoEncryption()))
    return serialization.load_pem_private_key(open(n + ".key", "rb").read(), None)
own = key(key_name)
subject = x509.Name.from_rfc4514_string(subject)
by = x509.load_pem_x509_certificate(open(issuer + ".pem", "rb").read()).subject \
    if issuer != "-" else subject
now = datetime.datetime.utcnow()
ca = purpose == "ca"
b = (x509.CertificateBuilder().subject_name(subject).issuer_name(by)
     .public_key(own.public_key()).serial_number(x509.random_serial_number())
     .not_valid_before(now + datetime.timedelta(days=float(start)))
     .not_valid_after(now + datetime.timedelta(days=float(end)))
     .add_extension(x509.BasicConstraints(ca=ca, path_length=None), critical=True)
     .add_extension(x509.KeyUsage(not ca, False, False, False, False, ca, ca,
                                  False, False), critical=True))
if not ca:
    b = b.add_extension(x509.ExtendedKeyUsage([getattr(Usage, {
        "codeSigning": "CODE_SIGNING", "serverAuth": "SERVER_AUTH",
        "timeStamping": "TIME_STAMPING"}[purpose])]),
        critical=purpose == "timeStamping")
signer = own if issuer == "-" else key(issuer)
open(name + ".pem", "wb").write(b.sign(signer, hashes.SHA256()).public_bytes(
    serialization.Encoding.PEM))
PY
}
cert root root - ca -1 400 "CN=Sestor Test Root"
cert ca ca root ca -1 300 "CN=Sestor Test Code Signing CA"
cert tsa tsa root timeStamping -1 300 "CN=Sestor Test Time Stamps"
for c in "pub codeSigning -1 200 CN=Editore di Prova Srl" \
  "server serverAuth -1 200 CN=Editore di Prova Srl" \
  "expired codeSigning -3 -1 CN=Editore di Prova Srl" \
  "future codeSigning 2 200 CN=Editore di Prova Srl" \
  "soon codeSigning -1 10 CN=Editore di Prova Srl" \
  "org codeSigning -1 200 O=Prova Editrice Spa" \
  "polish codeSigning -1 200 CN=Wydawca Łódź"; do
  set -- $c
  name=$1 purpose=$2 from=$3 to=$4
  shift 4
  cert "$name" pub ca "$purpose" "$from" "$to" "$*"
  cat "$name.pem" ca.pem >"$name-chain.pem"
done
cat ca.pem pub.pem >pub-reversed.pem  # the intermediate first, as some CAs ship

# The time-stamp authority: openssl's own, behind a loopback HTTP server.
printf '%s\n' "[tsa]" "default_tsa = t" "[t]" "serial = $work/tsa.serial" \
  "signer_cert = $work/tsa.pem" "signer_key = $work/tsa.key" \
  "signer_digest = sha256" "default_policy = 1.2.3.4.1" \
  "digests = sha256, sha384, sha512" "ess_cert_id_alg = sha256" >tsa.cnf
echo 01 >tsa.serial
python3 - "$work" >tsa.port <<'PY' &
import http.server, subprocess, sys
work = sys.argv[1]
class Authority(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        query = self.rfile.read(int(self.headers["Content-Length"]))
        reply = subprocess.run(
            ["openssl", "ts", "-reply", "-config", f"{work}/tsa.cnf", "-queryfile",
             "/dev/stdin", "-out", "/dev/stdout"], input=query,
            capture_output=True, check=True).stdout
        self.send_response(200)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)
    def log_message(self, *args):
        pass
server = http.server.HTTPServer(("127.0.0.1", 0), Authority)
print(server.server_address[1], flush=True)
server.serve_forever()
PY
tsa=$!
for try in $(seq 50); do [ -s tsa.port ] || sleep 0.1; done
stamps=http://127.0.0.1:$(cat tsa.port)/

# The key on a token of its own; its tool takes the PIN as a vendor's
# would, make dist never does.
mkdir tokens
printf 'directories.tokendir = %s/tokens\nobjectstore.backend = file\n' "$work" >softhsm2.conf
export SOFTHSM2_CONF="$work/softhsm2.conf"
softhsm2-util --init-token --free --label sestor --pin "$pin" --so-pin 97531 >/dev/null &&
  softhsm2-util --import pub.key --token sestor --label release --id 01 \
    --pin "$pin" >/dev/null
check "the token holds the key" [ $? -eq 0 ]
printf '%s\n' "$pin" >pin.txt
echo 1111 >wrong-pin.txt
module=$(ls /usr/lib/softhsm/libsofthsm2.so /usr/lib/*/softhsm/libsofthsm2.so 2>/dev/null | head -n 1)
token="SIGN_KEY=pkcs11:token=sestor;object=release SIGN_PKCS11_MODULE=$module"

# osslsigncode as make dist runs it, noting its command line and environment.
mkdir bin
real=$(command -v osslsigncode)
cat >bin/osslsigncode <<WRAP
#!/bin/sh
{ echo "\$@"; env; } >>"$work/osslsigncode.calls"
exec "$real" "\$@"
WRAP
chmod +x bin/osslsigncode

# Each release: NAME KIND [VAR=VALUE...], KIND unsigned, until (signed, valid
# while the certificate is) or stamped. It must pack; its sums list exactly
# the other files and match them; the exe is the tested one or verifies
# against the root alone; the guide holds its own blocks only, within 1,400
# words, and its commands name the folder the zip extracts to and files it
# holds, and find each file's line.
release() {
  name=$1 kind=$2
  shift 2
  dist "$name" "$@"
  check "$name: make dist packs" [ $? -eq 0 ]
  check "$name: the zip is named for the version" [ "$(zip_of "$name")" = "$work/$name/Sestor-$version.zip" ]
  mkdir "$name/x" && (cd "$name/x" && python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall()' "$(zip_of "$name")")
  x=$work/$name/x guide=$work/$name/x/LEGGIMI.txt
  check "$name: the sums list the other files" \
    [ "$(cut -c67- "$x/SHA256SUMS.txt" | sort | tr '\n' ' ')" = "IMPRONTE.txt LEGGIMI.txt Sestor.exe " ]
  check "$name: the sums match" sh -c "cd '$x' && sha256sum --quiet -c SHA256SUMS.txt"
  check "$name: no marker left in the guide" not grep -q '@[A-Z_]*@' "$guide"
  check "$name: at most 1,400 words" [ "$(wc -w <"$guide")" -le 1400 ]
  check "$name: the guide's folder is the zip's" grep -q -F "cd \"C:\\Users\\Mario\\Downloads\\Sestor-$version\"" "$guide"
  for file in Sestor.exe SHA256SUMS.txt IMPRONTE.txt; do
    check "$name: $file, named in a command, is packed" sh -c \
      "grep -q 'Select-String.* $file' '$guide' && [ -f '$x/$file' ]"
  done
  check "$name: Select-String finds the exe's line" sh -c \
    "grep -i \"\$(sha256sum <'$x/Sestor.exe' | cut -c1-64)\" '$x/SHA256SUMS.txt' | grep -q 'Sestor.exe\$'"
  check "$name: and, a line before the digest of Tutte, its choice" sh -c \
    "grep -q 'IMPRONTE.txt -Context 1,0' '$guide' &&
     grep -i -B1 '$tutte' '$x/IMPRONTE.txt' | head -n 1 | grep -q '^Tutte '"
  check "$name: the SmartScreen steps" grep -q "Esegui comunque" "$guide"
  if [ "$kind" = unsigned ]; then
    check "$name: the exe is the tested one" cmp -s "$here/build/windows/Sestor.exe" "$x/Sestor.exe"
    check "$name: no signer named" not grep -q "Firme digitali" "$guide"
    check "$name: how to turn off Smart App Control" grep -q "blocca i programmi" "$guide"
    return
  fi
  osslsigncode verify -CAfile root.pem -TSA-CAfile root.pem -in "$x/Sestor.exe" >"$name/verify" 2>&1
  check "$name: the signature verifies against the root alone" [ $? -eq 0 ]
  check "$name: with SHA-256" grep -q "Message digest algorithm *: SHA256" "$name/verify"
  check "$name: the intermediate goes along" grep -q "Subject: /CN=Sestor Test Code Signing CA" "$name/verify"
  check "$name: the guide shows where to see it" grep -q '"Firme digitali"' "$guide"
  check "$name: no unsigned paragraph" not grep -q "blocca i programmi" "$guide"
  if [ "$kind" = stamped ]; then
    check "$name: the timestamp is there" grep -q "The signature is timestamped" "$name/verify"
    check "$name: and verifies" grep -q "Timestamp Server Signature verification: ok" "$name/verify"
    check "$name: the guide says it lasts" grep -q "marca temporale" "$guide"
    check "$name: and names no last day" not grep -q "Fino al" "$guide"
  else
    check "$name: signed at the release's time" \
      grep -q "Signing time: $(date -u -d "@$epoch" '+%b %e %H:%M:%S %Y')" "$name/verify"
    check "$name: the guide names the last day" grep -q "Fino al $(date -u -d '+200 days' +%d/%m/%Y)" "$guide"
  fi
}

release plain unsigned
dist plain-again
check "an unsigned zip is the same twice" cmp -s "$(zip_of plain)" "$(zip_of plain-again)"
release token until SIGN_CERT="$work/pub-reversed.pem" $token SIGN_PASS_FILE="$work/pin.txt"
check "the guide names the signer" grep -q -x "    Editore di Prova Srl$cr" token/x/LEGGIMI.txt
check "the PIN is on no command line, environment or word of make dist" \
  not grep -r -q -F "$pin" osslsigncode.calls out token/x
release file until SIGN_CERT="$work/pub-chain.pem" SIGN_KEY="$work/pub.key"
check "a chain in either order, a key on a token or in a file: the same zip" \
  cmp -s "$(zip_of token)" "$(zip_of file)"
release org until SIGN_CERT="$work/org-chain.pem" SIGN_KEY="$work/pub.key"
check "without a common name, the signer is the organisation" \
  grep -q -x "    Prova Editrice Spa$cr" org/x/LEGGIMI.txt
release stamped stamped SIGN_CERT="$work/pub-chain.pem" SIGN_KEY="$work/pub.key" \
  SIGN_TIMESTAMP_URL="$stamps"
dist soon SIGN_CERT="$work/soon-chain.pem" SIGN_KEY="$work/pub.key"
check "a certificate about to expire signs" [ -n "$(zip_of soon)" ]
check "with a warning that names the day" said "expires on $(date -u -d '+10 days' +%Y-%m-%d)"
dist soon-stamped SIGN_CERT="$work/soon-chain.pem" SIGN_KEY="$work/pub.key" SIGN_TIMESTAMP_URL="$stamps"
check "with a timestamp, no such warning" not said "expires on"
dist alone SIGN_CERT="$work/pub.pem" SIGN_KEY="$work/pub.key"
check "a publisher's certificate alone is named with its issuer" said "issued by \"Sestor Test Code Signing CA\""

# Refusals: a plain message, and no zip of the version, not even an older one.
refused() {  # refused NAME WORDS [VAR=VALUE...]
  name=$1 words=$2
  shift 2
  mkdir -p "$name" && echo old >"$name/Sestor-$version.zip"
  dist "$name" "$@"
  check "$name: make dist stops" [ $? -ne 0 ]
  check "$name: it says why" said "$words"
  check "$name: no zip of the version" [ -z "$(zip_of "$name")" ]
  check "$name: no traceback" not said "Traceback"
}
refused wrong-pin "refused the PIN.*lock" SIGN_CERT="$work/pub-chain.pem" $token SIGN_PASS_FILE="$work/wrong-pin.txt"
refused server "not for code signing" SIGN_CERT="$work/server-chain.pem" $token SIGN_PASS_FILE="$work/pin.txt"
refused ca-only "not for code signing" SIGN_CERT="$work/ca.pem" SIGN_KEY="$work/ca.key"
refused no-module "SIGN_PKCS11_MODULE" SIGN_CERT="$work/pub-chain.pem" \
  SIGN_KEY="pkcs11:token=sestor;object=release" SIGN_PKCS11_MODULE=/nonexistent.so SIGN_PASS_FILE="$work/pin.txt"
refused expired "has expired" SIGN_CERT="$work/expired-chain.pem" SIGN_KEY="$work/pub.key"
refused future "not valid yet" SIGN_CERT="$work/future-chain.pem" SIGN_KEY="$work/pub.key"
refused polish "can't hold: Ł ź" SIGN_CERT="$work/polish-chain.pem" SIGN_KEY="$work/pub.key"
refused no-stamp "SIGN_TIMESTAMP_URL" SIGN_CERT="$work/pub-chain.pem" SIGN_KEY="$work/pub.key" \
  SIGN_TIMESTAMP_URL=http://127.0.0.1:9/
for var in SIGN_KEY SIGN_PKCS11_MODULE SIGN_PASS_FILE SIGN_TIMESTAMP_URL; do
  refused "only-$var" "SIGN_CERT is missing" "$var=$work/pin.txt"
done
# Named as a publisher in the project folder would name it.
cp pin.txt "$here/build/sestor-test-pin.txt"
refused pin-inside "inside the project folder" SIGN_CERT="$work/pub-chain.pem" $token \
  SIGN_PASS_FILE=build/sestor-test-pin.txt
rm -f "$here/build/sestor-test-pin.txt"

report release
