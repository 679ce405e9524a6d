"""An SMTP server with TLS and login for the mail tests: aiosmtpd's
Controller on loopback, its certificates made here with a private CA.

Usage: python3 tlssmtp.py FOLDER MODE CERT [options]
  MODE  starttls   plain connection, STARTTLS offered and required
        tls        TLS from the first byte (as on port 465)
        plain      no TLS at all; AUTH offered over the plain connection
  CERT  good | expired | selfsigned | othername
  --host H          address to listen on (127.0.0.1; ::1 for IPv6)
  --user U --password P   the one login accepted (default alice / s3cret)
  --exclude MECH    an AUTH mechanism not offered (PLAIN or LOGIN)
  --no-auth         no login asked for

FOLDER receives ca.pem (the CA that signed "good", "expired" and
"othername") and, per accepted message, NNNNNN.eml: the envelope lines, an
empty line and the message bytes as received. Prints "PORT n" once ready
and runs until it is terminated or its standard input closes.
"""
import argparse
import datetime
import itertools
import os
import signal
import socket
import ssl
import sys
import threading

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult
from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import ec
from cryptography.x509.oid import NameOID
import ipaddress


def name(cn):
    return x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, cn)])


def make_cert(subject_cn, sans, issuer_key, issuer_name, key, not_before, not_after, ca=False):
    b = (x509.CertificateBuilder()
         .subject_name(name(subject_cn))
         .issuer_name(issuer_name)
         .public_key(key.public_key())
         .serial_number(x509.random_serial_number())
         .not_valid_before(not_before)
         .not_valid_after(not_after))
    if ca:
        b = b.add_extension(x509.BasicConstraints(ca=True, path_length=None), critical=True)
        b = b.add_extension(x509.KeyUsage(digital_signature=True, content_commitment=False, key_encipherment=False,
                                          data_encipherment=False, key_agreement=False, key_cert_sign=True,
                                          crl_sign=True, encipher_only=False, decipher_only=False), critical=True)
    else:
        b = b.add_extension(x509.BasicConstraints(ca=False, path_length=None), critical=True)
        b = b.add_extension(x509.SubjectAlternativeName(sans), critical=False)
        b = b.add_extension(x509.ExtendedKeyUsage([x509.oid.ExtendedKeyUsageOID.SERVER_AUTH]), critical=False)
    return b.sign(issuer_key, hashes.SHA256())


def pem(obj):
    return obj.public_bytes(serialization.Encoding.PEM)


def key_pem(key):
    return key.private_bytes(serialization.Encoding.PEM, serialization.PrivateFormat.PKCS8,
                             serialization.NoEncryption())


def certificates(folder, kind):
    now = datetime.datetime.utcnow()
    day = datetime.timedelta(days=1)
    ca_key = ec.generate_private_key(ec.SECP256R1())
    ca = make_cert("Sentrova Test CA", None, ca_key, name("Sentrova Test CA"), ca_key, now - day, now + 30 * day,
                   ca=True)
    with open(os.path.join(folder, "ca.pem"), "wb") as f:
        f.write(pem(ca))
    key = ec.generate_private_key(ec.SECP256R1())
    local = [x509.DNSName("localhost"), x509.IPAddress(ipaddress.ip_address("127.0.0.1")),
             x509.IPAddress(ipaddress.ip_address("::1"))]
    if kind == "good":
        cert = make_cert("localhost", local, ca_key, ca.subject, key, now - day, now + 30 * day)
    elif kind == "expired":
        cert = make_cert("localhost", local, ca_key, ca.subject, key, now - 30 * day, now - 2 * day)
    elif kind == "othername":
        cert = make_cert("mail.example.org", [x509.DNSName("mail.example.org")], ca_key, ca.subject, key,
                         now - day, now + 30 * day)
    elif kind == "selfsigned":
        cert = make_cert("localhost", local, key, name("localhost"), key, now - day, now + 30 * day)
    else:
        raise SystemExit("unknown certificate kind " + kind)
    cert_file = os.path.join(folder, "server.pem")
    key_file = os.path.join(folder, "server.key")
    with open(cert_file, "wb") as f:
        f.write(pem(cert))
    with open(key_file, "wb") as f:
        f.write(key_pem(key))
    ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    ctx.load_cert_chain(cert_file, key_file)
    return ctx


class Recorder:
    def __init__(self, folder):
        self.folder = folder
        self.counter = itertools.count(1)

    async def handle_DATA(self, server, session, envelope):
        n = next(self.counter)
        head = "MAIL FROM:<%s>\r\n" % envelope.mail_from
        head += "".join("RCPT TO:<%s>\r\n" % r for r in envelope.rcpt_tos)
        data = envelope.original_content or envelope.content
        if isinstance(data, str):
            data = data.encode("utf-8", "replace")
        tmp = os.path.join(self.folder, "%06d.tmp" % n)
        with open(tmp, "wb") as f:
            f.write(head.encode("utf-8", "replace") + b"\r\n" + data)
        os.rename(tmp, os.path.join(self.folder, "%06d.eml" % n))
        return "250 Message accepted for delivery"


def main():
    p = argparse.ArgumentParser()
    p.add_argument("folder")
    p.add_argument("mode", choices=["starttls", "tls", "plain"])
    p.add_argument("cert", choices=["good", "expired", "selfsigned", "othername"])
    p.add_argument("--host", default="127.0.0.1")
    p.add_argument("--user", default="alice")
    p.add_argument("--password", default="s3cret")
    p.add_argument("--exclude", action="append", default=[])
    p.add_argument("--no-auth", action="store_true")
    a = p.parse_args()
    os.makedirs(a.folder, exist_ok=True)
    ctx = certificates(a.folder, a.cert)

    def authenticator(server, session, envelope, mechanism, auth_data):
        ok = (auth_data.login == a.user.encode("utf-8") and auth_data.password == a.password.encode("utf-8"))
        return AuthResult(success=ok, handled=False)

    family = socket.AF_INET6 if ":" in a.host else socket.AF_INET
    with socket.socket(family, socket.SOCK_STREAM) as s:
        s.bind((a.host, 0))
        port = s.getsockname()[1]

    kwargs = dict(hostname=a.host, port=port)
    smtp = {}
    if not a.no_auth:
        smtp.update(authenticator=authenticator, auth_required=True,
                    # aiosmtpd knows of TLS only through its own STARTTLS; with
                    # TLS from the first byte the whole session is encrypted.
                    auth_require_tls=(a.mode == "starttls"), auth_exclude_mechanism=a.exclude)
    if a.mode == "starttls":
        smtp.update(tls_context=ctx, require_starttls=True)
    elif a.mode == "tls":
        kwargs["ssl_context"] = ctx
    controller = Controller(Recorder(a.folder), **kwargs, **smtp)
    controller.start()
    print("PORT %d" % port, flush=True)

    done = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: done.set())
    threading.Thread(target=lambda: (sys.stdin.read(), done.set()), daemon=True).start()
    done.wait()
    controller.stop()


if __name__ == "__main__":
    main()
