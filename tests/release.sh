#!/bin/sh
# The release as `make dist` packs it, checked by what a user and a publisher
# see: each zip, unsigned, signed until a day, timestamped, through a
# throwaway CA, a key on a SoftHSM2 token or in a PEM file and a time-stamp
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
  name=$1 && shift && env SESTOR_DIST="$work/$name" SOURCE_DATE_EPOCH="$epoch" \
    PATH="$work/bin:$PATH" "$@" sh "${root:-$here}/scripts/make-dist.sh" >"$work/out" 2>&1
}
zip_of() { ls "$work/$1"/Sestor-*.zip 2>/dev/null; }

# The certificates, NAME.pem each, for the key KEY.key (made when missing),
# issued by ISSUER.pem with ISSUER.key ("-": itself), valid FROM to TO days
# from now, for PURPOSE: a root, an intermediate and a time-stamp authority;
# publishers' certificates (expired, not valid yet, ending soon, named in
# each way Windows names a signer), each with its chain in NAME-chain.pem;
# intermediates that can't sign, or end first, in pub-NAME.pem with pub's.
/usr/bin/python3 - <<'PY'
import datetime, os
from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import rsa
from cryptography.x509.oid import ExtendedKeyUsageOID as Usage
CERTS = """root root - ca -1 400 CN=Sestor Test Root
ca ca root ca -1 300 CN=Sestor Test Code Signing CA
tsa tsa root timeStamping -1 300 CN=Sestor Test Time Stamps
pub pub ca codeSigning -1 200 CN=Editore di Prova Srl
server pub ca serverAuth -1 200 CN=Editore di Prova Srl
expired pub ca codeSigning -3 -1 CN=Editore di Prova Srl
future pub ca codeSigning 2 200 CN=Editore di Prova Srl
soon pub ca codeSigning -1 10 CN=Editore di Prova Srl
org pub ca codeSigning -1 200 O=Prova Editrice Spa
both pub ca codeSigning -1 200 O=Prova Editrice Spa,CN=Editore di Prova Srl
unit pub ca codeSigning -1 200 O=Prova Editrice Spa,OU=Reparto Firme
mail pub ca codeSigning -1 200 1.2.840.113549.1.9.1=firme@prova.example
polish pub ca codeSigning -1 200 CN=Wydawca \u0141\u00f3d\u017a
ca-expired ca root ca -3 -1 CN=Sestor Test Code Signing CA
ca-future ca root ca 2 300 CN=Sestor Test Code Signing CA
ca-short ca root ca -1 100 CN=Sestor Test Code Signing CA"""
def key(n):
    if not os.path.exists(n + ".key"):
        open(n + ".key", "wb").write(rsa.generate_private_key(65537, 2048).private_bytes(
            serialization.Encoding.PEM, serialization.PrivateFormat.PKCS8,
            serialization.NoEncryption()))
    return serialization.load_pem_private_key(open(n + ".key", "rb").read(), None)
now, days = datetime.datetime.utcnow(), lambda n: datetime.timedelta(days=float(n))
usages = {"codeSigning": Usage.CODE_SIGNING, "serverAuth": Usage.SERVER_AUTH,
          "timeStamping": Usage.TIME_STAMPING}
for entry in CERTS.splitlines():
    name, key_name, issuer, purpose, start, end, subject = entry.split(" ", 6)
    subject, ca = x509.Name.from_rfc4514_string(subject), purpose == "ca"
    by = x509.load_pem_x509_certificate(open(issuer + ".pem", "rb").read()).subject \
        if issuer != "-" else subject
    b = (x509.CertificateBuilder().subject_name(subject).issuer_name(by)
         .public_key(key(key_name).public_key()).serial_number(x509.random_serial_number())
         .not_valid_before(now + days(start)).not_valid_after(now + days(end))
         .add_extension(x509.BasicConstraints(ca=ca, path_length=None), critical=True)
         .add_extension(x509.KeyUsage(not ca, False, False, False, False, ca, ca,
                                      False, False), critical=True))
    if not ca:
        b = b.add_extension(x509.ExtendedKeyUsage([usages[purpose]]),
                            critical=purpose == "timeStamping")
    pem = b.sign(key(key_name if issuer == "-" else issuer), hashes.SHA256()) \
        .public_bytes(serialization.Encoding.PEM)
    open(name + ".pem", "wb").write(pem)
    if key_name == "pub":
        open(name + "-chain.pem", "wb").write(pem + open("ca.pem", "rb").read())
    elif name.startswith("ca-"):
        open("pub-" + name + ".pem", "wb").write(open("pub.pem", "rb").read() + pem)
PY
cat ca.pem pub.pem >pub-reversed.pem  # the intermediate first, as some CAs ship

# The time-stamp authority: openssl's own, behind a loopback HTTP server.
printf '%s\n' "[tsa]" "default_tsa = t" "[t]" "serial = $work/tsa.serial" "signer_cert = $work/tsa.pem" \
  "signer_key = $work/tsa.key" "signer_digest = sha256" "default_policy = 1.2.3.4.1" \
  "digests = sha256, sha384, sha512" "ess_cert_id_alg = sha256" >tsa.cnf && echo 01 >tsa.serial
python3 - "$work" >tsa.port <<'PY' &
import http.server, subprocess, sys
class Authority(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        reply = subprocess.run(["openssl", "ts", "-reply", "-config", sys.argv[1] + "/tsa.cnf",
                                "-queryfile", "/dev/stdin", "-out", "/dev/stdout"],
                               input=self.rfile.read(int(self.headers["Content-Length"])),
                               capture_output=True, check=True).stdout
        self.send_response(200)
        for header in (("Content-Type", "application/timestamp-reply"), ("Content-Length", str(len(reply)))):
            self.send_header(*header)
        self.end_headers()
        self.wfile.write(reply)
    def log_message(self, *args): pass
server = http.server.HTTPServer(("127.0.0.1", 0), Authority)
print(server.server_address[1], flush=True)
server.serve_forever()
PY
tsa=$!
for try in $(seq 50); do [ -s tsa.port ] || sleep 0.1; done
stamps=http://127.0.0.1:$(cat tsa.port)/

# The key on a token of its own; its tool takes the PIN, make dist never does.
mkdir tokens && printf 'directories.tokendir = %s/tokens\nobjectstore.backend = file\n' "$work" >softhsm2.conf
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
mkdir bin && printf '#!/bin/sh\n{ echo "$@"; env; } >>"%s"\nexec "%s" "$@"\n' \
  "$work/osslsigncode.calls" "$(command -v osslsigncode)" >bin/osslsigncode && chmod +x bin/osslsigncode

# The template's blocks, "MARKER<TAB>line" a line (but those with a marker),
# each in exactly the guides of the kinds its marker is kept for.
blocks=$(awk '/^@[A-Z_]+@$/ { m = $0; next }
  m != "" && m != "@FINE@" && NF && !/@/ { print m "\t" $0 }' "$here/release/LEGGIMI.txt.in" |
  iconv -f UTF-8 -t CP1252)  # as the guide is written
kept_unsigned=@NON_FIRMATO@ kept_until="@FIRMATO@ @A_TEMPO@" kept_stamped="@FIRMATO@ @CON_MARCA@"
# What PowerShell's Get-FileHash gives: the digest in capitals.
hash_of() { sha256sum <"$1" | cut -c1-64 | tr a-f A-F; }
unpack() { mkdir -p "$1/x" && (cd "$1/x" && python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall()' "$(zip_of "$1")"); }

# release NAME KIND [VAR=VALUE...], KIND unsigned, until (the day `last`, if
# set) or stamped: it packs, its sums list and match the other files, the
# exe is the tested one or verifies against the root alone; the guide holds
# its blocks only, no '@', within 1,400 words, and its PowerShell lines do
# what it says: Select-String (case-insensitive) finds the exe's digest on
# its line of the sums, and a file's digest in the table after its choice.
release() {
  name=$1 kind=$2
  shift 2
  dist "$name" "$@"
  check "$name: make dist packs the zip named for the version" [ "$(zip_of "$name")" = "$work/$name/Sestor-$version.zip" ]
  unpack "$name"
  x=$work/$name/x guide=$work/$name/x/LEGGIMI.txt
  check "$name: the sums list the other files" \
    [ "$(cut -c67- "$x/SHA256SUMS.txt" | sort | tr '\n' ' ')" = "IMPRONTE.txt LEGGIMI.txt Sestor.exe " ]
  check "$name: the sums match" sh -c "cd '$x' && sha256sum --quiet -c SHA256SUMS.txt"
  check "$name: no @ left in the guide" not grep -q '@' "$guide"
  check "$name: at most 1,400 words" [ "$(wc -w <"$guide")" -le 1400 ]
  eval "kept=\$kept_$kind"
  echo "$blocks" | while IFS="$(printf '\t')" read -r marker line; do
    case " $kept " in *" $marker "*) want=0 ;; *) want=1 ;; esac
    grep -q -x -F "$line$cr" "$guide"
    [ $? -eq $want ] || echo "$marker ($want): $line"
  done >"$name/blocks"
  check "$name: each block where its markers say" [ ! -s "$name/blocks" ]
  check "$name: the guide's folder is the zip's" grep -q -F "cd \"C:\\Users\\Mario\\Downloads\\Sestor-$version\"" "$guide"
  set -- $(sed -n 's/^ *Select-String (Get-FileHash \([^)]*\))\.Hash \([^ ]*\)\r$/\1 \2/p' "$guide") none none
  check "$name: the sums' command finds its file's line" sh -c \
    "grep -i '$(hash_of "$x/$1" 2>/dev/null)' '$x/$2' | grep -q -x '[0-9a-f]*  $1'"
  table=$(sed -n 's/^ *Select-String \$h \([^ ]*\) -Context 1,0\r$/\1/p' "$guide")
  check "$name: the table's command finds a choice by its file's digest" sh -c \
    "grep -q '^ *\$h = (Get-FileHash \"[^\"]*\").Hash' '$guide' &&
     grep -i -B1 '$(echo "$tutte" | tr a-f A-F)' '$x/${table:-none}' | head -n 1 | grep -q '^Tutte '"
  if [ "$kind" = unsigned ]; then
    check "$name: the exe is the tested one" cmp -s "$here/build/windows/Sestor.exe" "$x/Sestor.exe"
    return
  fi
  osslsigncode verify -CAfile root.pem -TSA-CAfile root.pem -in "$x/Sestor.exe" >"$name/verify" 2>&1
  check "$name: the signature verifies against the root alone" [ $? -eq 0 ]
  check "$name: with SHA-256" grep -q "Message digest algorithm *: SHA256" "$name/verify"
  check "$name: the intermediate goes along" grep -q "Subject: /CN=Sestor Test Code Signing CA" "$name/verify"
  if [ "$kind" = stamped ]; then
    check "$name: the timestamp is there" grep -q "The signature is timestamped" "$name/verify"
    check "$name: and verifies" grep -q "Timestamp Server Signature verification: ok" "$name/verify"
  else
    check "$name: signed at the release's time" \
      grep -q "Signing time: $(date -u -d "@$epoch" '+%b %e %H:%M:%S %Y')" "$name/verify"
    check "$name: the guide names the last day" grep -q "Fino al ${last:-$(date -u -d '+200 days' +%d/%m/%Y)}" "$guide"
  fi
  last=""
}

release plain unsigned
dist plain-again
check "an unsigned zip is the same twice" cmp -s "$(zip_of plain)" "$(zip_of plain-again)"
release token until SIGN_CERT="$work/pub-reversed.pem" $token SIGN_PASS_FILE="$work/pin.txt"
check "the PIN is on no command line, environment or word of make dist" not grep -r -q -F "$pin" osslsigncode.calls out token/x
release file until SIGN_CERT="$work/pub-chain.pem" SIGN_KEY="$work/pub.key"
check "a chain in either order, a key on a token or in a file: the same zip" cmp -s "$(zip_of token)" "$(zip_of file)"
# An intermediate that ends before the publisher's certificate ends it all.
last=$(date -u -d '+100 days' +%d/%m/%Y)
release short until SIGN_CERT="$work/pub-ca-short.pem" SIGN_KEY="$work/pub.key"
release stamped stamped SIGN_CERT="$work/pub-chain.pem" SIGN_KEY="$work/pub.key" SIGN_TIMESTAMP_URL="$stamps"
# The signer as Windows names it: the CN, else the OU, the O, the e-mail.
for c in "org:Prova Editrice Spa" "both:Editore di Prova Srl" "unit:Reparto Firme" \
  "mail:firme@prova.example"; do
  dist "${c%%:*}" SIGN_CERT="$work/${c%%:*}-chain.pem" SIGN_KEY="$work/pub.key"
  unpack "${c%%:*}"
  check "${c%%:*}: the signer is ${c#*:}" grep -q -x -F "    ${c#*:}$cr" "${c%%:*}/x/LEGGIMI.txt"
done
dist soon SIGN_CERT="$work/soon-chain.pem" SIGN_KEY="$work/pub.key"
check "a certificate about to expire signs, warned about by its day" sh -c \
  "[ -n '$(zip_of soon)' ] && grep -q 'expires on $(date -u -d '+10 days' +%Y-%m-%d)' '$work/out'"
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
  check "$name: make dist stops, and no zip of the version" [ $? -ne 0 -a -z "$(zip_of "$name")" ]
  check "$name: it says why, and no traceback" sh -c "grep -q -e \"\$1\" '$work/out' && ! grep -q Traceback '$work/out'" - "$words"
}
refused wrong-pin "refused the PIN.*lock" SIGN_CERT="$work/pub-chain.pem" $token SIGN_PASS_FILE="$work/wrong-pin.txt"
refused server "not for code signing" SIGN_CERT="$work/server-chain.pem" $token SIGN_PASS_FILE="$work/pin.txt"
refused ca-only "not for code signing" SIGN_CERT="$work/ca.pem" SIGN_KEY="$work/ca.key"
refused no-module "SIGN_PKCS11_MODULE" SIGN_CERT="$work/pub-chain.pem" \
  SIGN_KEY="pkcs11:token=sestor;object=release" SIGN_PKCS11_MODULE=/nonexistent.so SIGN_PASS_FILE="$work/pin.txt"
# Certificates that can't sign now, the publisher's or the intermediate's;
# a SIGN_CERT not there, a folder, no certificate; a name 1252 can't hold.
echo "not a certificate" >garbage.pem && mkdir folder.pem
for c in "expired-chain:has expired" "future-chain:not valid yet" "pub-ca-expired:has expired" \
  "pub-ca-future:not valid yet" "none:can't be read" "folder:can't be read" "garbage:not a readable PEM" \
  "polish-chain:can't hold: Ł ź"; do
  refused "cert-${c%%:*}" "${c#*:}" SIGN_CERT="$work/${c%%:*}.pem" SIGN_KEY="$work/pub.key"
done
refused no-stamp SIGN_TIMESTAMP_URL SIGN_CERT="$work/pub-chain.pem" SIGN_KEY="$work/pub.key" SIGN_TIMESTAMP_URL=http://127.0.0.1:9/
for var in SIGN_KEY SIGN_PKCS11_MODULE SIGN_PASS_FILE SIGN_TIMESTAMP_URL; do
  refused "only-$var" "SIGN_CERT is missing" "$var=$work/pin.txt"
done
# A pass file in the project folder or a folder in it, named as a publisher
# there would, through a link to the project, or with make dist run so.
ln -s "$here" project
cp pin.txt "$here/build/sestor-test-pin.txt" && cp pin.txt "$here/sestor-test-pin.txt"
for c in "relative::build" "linked::$work/project" "through:$work/project:$here/build"; do
  root=$(echo "$c" | cut -d: -f2) && refused "pin-${c%%:*}" "inside the project folder" \
    SIGN_CERT="$work/pub-chain.pem" $token SIGN_PASS_FILE="${c#*:*:}/sestor-test-pin.txt"
done && root=""
rm -f "$here/build/sestor-test-pin.txt" "$here/sestor-test-pin.txt"

report release
