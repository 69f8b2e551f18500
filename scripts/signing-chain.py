#!/usr/bin/env python3
"""Reads the certificates a release is signed with, for scripts/sign-exe.sh:

    scripts/signing-chain.py CERTS.pem BUNDLE.pem TIMESTAMPED [KEY.pem [PASS]]

CERTS.pem (SIGN_CERT) holds the publisher's certificate and those of the
authorities that issued it, in any order (CAs ship them either way). The
publisher's is the one whose key is KEY.pem (a key file, opened with the
password in the file PASS), or else the one for code signing that issued
none of the others, as for a key on a token. BUNDLE.pem gets it first,
then every intermediate authority up to the root, which stays out (Windows
has its own roots; an offline PC can't fetch a missing intermediate).

Prints the signer's name as Windows shows it (CertGetNameString's simple
display name: the common name, else the organisational unit, the
organisation, the e-mail address) and, without a timestamp, the signature's last day
(YYYY-MM-DD, the earliest end in the chain); a timestamped one has none. A
certificate that can't sign now stops it with a plain message; one that
expires within 30 days, used without a timestamp (TIMESTAMPED "no"), and
a publisher's certificate alone in the file, get a warning.
"""
import datetime
import pathlib
import re
import sys

from cryptography import x509
from cryptography.hazmat.primitives import serialization
from cryptography.x509.oid import ExtendedKeyUsageOID, NameOID

# Without a timestamp a signature lasts only as long as the certificate.
WARN_DAYS = 30


def fail(message):
    sys.exit(f"make dist: the release can't be signed: {message}")


def warn(message):
    print(f"make dist: warning: {message}", file=sys.stderr)


def read_certificates(path):
    try:
        text = pathlib.Path(path).read_text(encoding="ascii", errors="replace")
    except OSError as error:
        fail(f"SIGN_CERT ({path}) can't be read: {error.strerror}.")
    blocks = re.findall(r"-----BEGIN CERTIFICATE-----.+?-----END CERTIFICATE-----",
                        text, re.S)
    try:
        certificates = [x509.load_pem_x509_certificate(b.encode()) for b in blocks]
    except ValueError:
        certificates = []
    if not certificates:
        fail(f"SIGN_CERT ({path}) is not a readable PEM certificate.")
    return certificates


def shown_name(name):
    """The name Windows shows for a certificate's subject or issuer."""
    for oid in (NameOID.COMMON_NAME, NameOID.ORGANIZATIONAL_UNIT_NAME,
                NameOID.ORGANIZATION_NAME, NameOID.EMAIL_ADDRESS):
        values = name.get_attributes_for_oid(oid)
        if values:
            return values[0].value
    return ""


def for_code_signing(certificate):
    try:
        usage = certificate.extensions.get_extension_for_class(x509.ExtendedKeyUsage)
    except x509.ExtensionNotFound:
        return False
    return ExtendedKeyUsageOID.CODE_SIGNING in usage.value


def self_signed(certificate):
    return certificate.issuer == certificate.subject


def issuer_of(certificate, certificates):
    for other in certificates:
        if other is not certificate and other.subject == certificate.issuer:
            return other
    return None


def public_key_bytes(key):
    return key.public_bytes(serialization.Encoding.DER,
                            serialization.PublicFormat.SubjectPublicKeyInfo)


def key_file_public(key_path, pass_path):
    """The public half of a PEM key file, or None (a token's key, a
    password that does not open it)."""
    try:
        password = (pathlib.Path(pass_path).read_bytes().splitlines() or [b""])[0] \
            if pass_path else None
        key = serialization.load_pem_private_key(
            pathlib.Path(key_path).read_bytes(), password or None)
        return public_key_bytes(key.public_key())
    except (OSError, ValueError, TypeError):
        return None


def publisher(certificates, key_path, pass_path):
    if key_path:
        public = key_file_public(key_path, pass_path)
        for certificate in certificates:
            if public_key_bytes(certificate.public_key()) == public:
                return certificate
    leaves = [c for c in certificates
              if not any(issuer_of(other, certificates) is c for other in certificates)]
    signing = [c for c in leaves if for_code_signing(c)]
    if len(signing) > 1:
        fail("SIGN_CERT holds more than one publisher's certificate for code "
             "signing; it must hold one, with the authorities that issued it.")
    return (signing or leaves or certificates)[0]


def chain_of(first, certificates):
    chain = [first]
    while not self_signed(chain[-1]):
        issuer = issuer_of(chain[-1], certificates)
        if issuer is None or issuer in chain:
            break
        chain.append(issuer)
    return chain


def validity(certificate):
    """From and to, in UTC, whatever the library's version."""
    utc = datetime.timezone.utc
    return (getattr(certificate, "not_valid_before_utc", None)
            or certificate.not_valid_before.replace(tzinfo=utc),
            getattr(certificate, "not_valid_after_utc", None)
            or certificate.not_valid_after.replace(tzinfo=utc))


def check_dates(chain, timestamped):
    now = datetime.datetime.now(datetime.timezone.utc)
    for certificate in chain:
        name = shown_name(certificate.subject)
        starts, ends = validity(certificate)
        if now < starts:
            fail(f"the certificate of \"{name}\" in SIGN_CERT is not valid yet: "
                 f"it starts on {starts:%Y-%m-%d %H:%M} UTC.")
        if now > ends:
            fail(f"the certificate of \"{name}\" in SIGN_CERT has expired "
                 f"(on {ends:%Y-%m-%d}).")
    last = min(validity(c)[1] for c in chain)
    if not timestamped and last - now < datetime.timedelta(days=WARN_DAYS):
        warn(f"the certificate expires on {last:%Y-%m-%d}; without a "
             f"timestamp (SIGN_TIMESTAMP_URL) Windows stops trusting the "
             f"signature that day.")
    return last


def main():
    certs_path, bundle_path, timestamped = sys.argv[1:4]
    key_path = sys.argv[4] if len(sys.argv) > 4 else ""
    pass_path = sys.argv[5] if len(sys.argv) > 5 else ""
    certificates = read_certificates(certs_path)
    signer = publisher(certificates, key_path, pass_path)
    if not for_code_signing(signer):
        fail("the certificate in SIGN_CERT is not for code signing (its "
             "extended key usage has no Code Signing).")
    name = shown_name(signer.subject)
    if not name:
        fail("the certificate in SIGN_CERT names no signer (it has no common "
             "name, organisational unit, organisation or e-mail address), so "
             "the guide could not say whose signature to expect.")
    chain = chain_of(signer, certificates)
    if len(chain) == 1 and not self_signed(signer):
        warn(f"SIGN_CERT holds only the publisher's certificate, issued by "
             f"\"{shown_name(signer.issuer)}\". A PC without a network "
             f"connection trusts the signature only if that is one of its "
             f"root authorities; if it is an intermediate one, as for most "
             f"code-signing certificates, add its certificate to SIGN_CERT.")
    last = check_dates(chain, timestamped == "yes")
    bundle = [c for c in chain if c is signer or not self_signed(c)]
    pathlib.Path(bundle_path).write_bytes(
        b"".join(c.public_bytes(serialization.Encoding.PEM) for c in bundle))
    print(name)
    if timestamped != "yes":
        print(f"{last:%Y-%m-%d}")


if __name__ == "__main__":
    main()
