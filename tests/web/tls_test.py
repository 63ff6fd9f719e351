#!/usr/bin/python3
"""The web desk under TLS, on loopback: a certificate made for the test,
a login whose cookie is Secure, HttpOnly and SameSite=Strict, plain HTTP
on the same port answered by nothing a browser would take; and the
refusals of `serve` before it listens.

    tls_test.py LENDREC_BINARY WORK_DIR
"""
import http.client
import json
import os
import re
import shutil
import ssl
import subprocess
import sys

PASSWORD = "tls test password"


def lendrec(binary, folder, *args, stdin=None):
    return subprocess.run([binary, "-C", folder, *args], input=stdin, capture_output=True,
                          text=True, timeout=60)


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
        done = lendrec(binary, folder, "serve", *args)
        assert done.returncode == 2, (args, done.returncode, done.stderr)
        assert said in done.stderr, (args, done.stderr)


def main():
    binary, work = sys.argv[1], os.path.join(sys.argv[2], "tls")
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    folder = os.path.join(work, "library")
    assert lendrec(binary, folder, "init").returncode == 0
    added = lendrec(binary, folder, "staff", "add", "ann", "--role", "admin",
                    stdin=PASSWORD + "\n")
    assert added.returncode == 0, added.stderr
    cert, key = make_certificate(work)
    refusals(binary, folder, cert, key)

    server = subprocess.Popen([binary, "-C", folder, "serve", "--listen", "127.0.0.1:0",
                               "--tls-cert", cert, "--tls-key", key],
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    try:
        line = server.stdout.readline()
        found = re.search(r"https://127\.0\.0\.1:(\d+)/", line)
        assert found, f"the server said {line!r}"
        port = int(found.group(1))
        trust = ssl.create_default_context(cafile=cert)
        trust.check_hostname = False
        conn = http.client.HTTPSConnection("127.0.0.1", port, context=trust, timeout=10)
        conn.request("POST", "/api/login", json.dumps({"name": "ann", "password": PASSWORD}),
                     {"Content-Type": "application/json",
                      "Origin": f"https://127.0.0.1:{port}"})
        answer = conn.getresponse()
        body = json.loads(answer.read())
        assert answer.status == 200, (answer.status, body)
        cookie = answer.getheader("Set-Cookie")
        for part in ("Secure", "HttpOnly", "SameSite=Strict"):
            assert part in cookie, cookie
        assert body["csrf"] and body["role"] == "admin"

        plain = http.client.HTTPConnection("127.0.0.1", port, timeout=10)
        try:
            plain.request("GET", "/login")
            status = plain.getresponse().status
        except (http.client.HTTPException, OSError):
            status = None
        assert status is None, f"plain HTTP was answered with {status}"
    finally:
        server.terminate()
        stopped = server.wait(timeout=30)
    assert stopped == 0, f"the server stopped with {stopped}"
    print("TLS: login cookie Secure, HttpOnly, SameSite=Strict; plain HTTP not served")


if __name__ == "__main__":
    main()
