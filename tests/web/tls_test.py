#!/usr/bin/python3
"""The web desk under TLS, on loopback: a certificate made for the test,
a login whose cookie is Secure, HttpOnly and SameSite=Strict, plain HTTP
on the same port answered by nothing a browser would take; and the
refusals of `serve` before it listens.

    tls_test.py LENDREC_BINARY WORK_DIR
"""
import http.client
import os
import shutil
import ssl
import subprocess
import sys

import serving

PASSWORD = "tls test password"


def make_certificate(work):
    key, cert = os.path.join(work, "desk.key"), os.path.join(work, "desk.crt")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                    "-keyout", key, "-out", cert, "-subj", "/CN=127.0.0.1"],
                   check=True, capture_output=True, timeout=60)
    return cert, key


def refusals(binary, folder, cert, key):
    """`serve` refuses, with status 2 and before listening, what it cannot serve safely."""
    cases = [
        (["--listen", "127.0.0.1:0", "--tls-cert", cert], "--tls-key"),
        (["--listen", "127.0.0.1:0", "--tls-key", key], "--tls-cert"),
        (["--listen", "127.0.0.1:0", "--tls-cert", cert, "--tls-key", cert], "TLS"),
        (["--listen", "192.0.2.1:0"], "--tls-cert and --tls-key"),
        (["--listen", "127.0.0.1:70000"], "PORT"),
    ]
    for args, said in cases:
        done = serving.run([binary, "-C", folder], "serve", *args)
        assert done.returncode == 2, (args, done.returncode, done.stderr)
        assert said in done.stderr, (args, done.stderr)


def main():
    binary, work = sys.argv[1], os.path.join(sys.argv[2], "tls")
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    folder = os.path.join(work, "library")
    desk = [binary, "-C", folder]
    assert serving.run(desk, "init").returncode == 0
    serving.add_staff(desk, "ann", "admin", PASSWORD)
    cert, key = make_certificate(work)
    refusals(binary, folder, cert, key)

    with serving.Server(desk, "--tls-cert", cert, "--tls-key", key) as server:
        assert server.tls, f"served at {server.url}"
        trust = ssl.create_default_context(cafile=cert)
        trust.check_hostname = False
        client = serving.Session(server, trust)
        body = client.login("ann", PASSWORD)
        for part in ("Secure", "HttpOnly", "SameSite=Strict"):
            assert part in client.set_cookie, client.set_cookie
        assert body["role"] == "admin"

        plain = http.client.HTTPConnection("127.0.0.1", server.port, timeout=10)
        try:
            plain.request("GET", "/login")
            status = plain.getresponse().status
        except (http.client.HTTPException, OSError):
            status = None
        assert status is None, f"plain HTTP was answered with {status}"
    print("TLS: login cookie Secure, HttpOnly, SameSite=Strict; plain HTTP not served")


if __name__ == "__main__":
    main()
