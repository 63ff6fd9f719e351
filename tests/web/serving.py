"""What the scripts beside the web desk share: running the desk at the
command line, adding a staff account, `lendrec serve` on a free loopback
port, and a client logged in over /api/login that posts JSON with its
session's CSRF token.

A desk command is a list: the program and what comes before the command's
own words, e.g. [lendrec, "-C", folder]."""
import http.client
import json
import re
import signal
import subprocess


def run(command, *args, stdin=None, env=None, cwd=None):
    """The finished `command args...`, its output captured as text; at most 60 s."""
    return subprocess.run([*command, *map(str, args)], input=stdin, capture_output=True,
                          text=True, timeout=60, env=env, cwd=cwd)


def add_staff(command, name, role, password, **kwargs):
    """Adds the staff account `name` with `role` and `password`; fails the
    test when the desk refuses it."""
    done = run(command, "staff", "add", name, "--role", role, stdin=password + "\n", **kwargs)
    assert done.returncode == 0, (name, done.stderr)


class Server:
    """`command serve --listen 127.0.0.1:0 extra...` running, its address
    read from its first line ("serving 'DIR' at http://127.0.0.1:PORT/").
    As a context, stopped when the block ends."""

    def __init__(self, command, *extra, env=None, cwd=None):
        self.process = subprocess.Popen([*command, "serve", "--listen", "127.0.0.1:0", *extra],
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                        text=True, env=env, cwd=cwd)
        line = self.process.stdout.readline()
        found = re.search(r"(https?)://127\.0\.0\.1:(\d+)/", line)
        assert found, f"the server said {line!r}"
        self.tls, self.port = found.group(1) == "https", int(found.group(2))
        self.url = f"{found.group(1)}://127.0.0.1:{self.port}"

    def stop(self):
        """Ends the server with SIGTERM; fails the test unless it exits 0."""
        self.process.send_signal(signal.SIGTERM)
        stopped = self.process.wait(timeout=30)
        assert stopped == 0, f"the server stopped with {stopped}"

    def __enter__(self):
        return self

    def __exit__(self, failed, *_):
        if failed:
            self.process.kill()
            self.process.wait(timeout=30)
        else:
            self.stop()


class Session:
    """One client of `server` with its own session: the cookie and CSRF
    token of its login go with every later request, as does the server's
    own origin. `context` is the TLS trust for an https server."""

    def __init__(self, server, context=None):
        self.server, self.context = server, context
        self.cookie = self.csrf = self.set_cookie = ""
        self.conn = self.connect()

    def connect(self):
        if self.server.tls:
            return http.client.HTTPSConnection("127.0.0.1", self.server.port,
                                               context=self.context, timeout=30)
        return http.client.HTTPConnection("127.0.0.1", self.server.port, timeout=30)

    def call(self, method, path, body=None):
        """(status, body read as JSON or None). A connection the server
        closed is opened again once; a server gone raises OSError or
        http.client.HTTPException."""
        headers = {"Origin": self.server.url}
        if self.cookie:
            headers["Cookie"] = self.cookie
        if self.csrf:
            headers["X-CSRF-Token"] = self.csrf
        data = None if body is None else json.dumps(body)
        if data is not None:
            headers["Content-Type"] = "application/json"
        try:
            self.conn.request(method, path, data, headers)
            answer = self.conn.getresponse()
        except (http.client.HTTPException, OSError):
            self.conn.close()
            self.conn = self.connect()
            self.conn.request(method, path, data, headers)
            answer = self.conn.getresponse()
        text = answer.read()
        self.set_cookie = answer.getheader("Set-Cookie") or ""
        if self.set_cookie:
            self.cookie = self.set_cookie.split(";")[0]
        return answer.status, (json.loads(text) if text else None)

    def login(self, name, password):
        """Logs `name` in, keeping the session; the login's answer. Fails
        the test unless it is 200 with a token."""
        status, body = self.call("POST", "/api/login", {"name": name, "password": password})
        assert status == 200 and body.get("csrf"), (status, body)
        self.csrf = body["csrf"]
        return body
