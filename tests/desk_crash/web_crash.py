"""web_crash.py DESK INTERPOSER SCRATCH

Crashes the web desk (`lendrec serve`) at every step of a checkout's
commit: the interposer ends the server just before its Nth write, flush,
rename or removal, for N = 1, 2, ... until the checkout completes without
reaching N. After each crash `lendrec check` must pass, leave no stray
file, and the files must hold the state before the checkout or after it,
entirely. The server, stopped by SIGTERM after a checkout that completed,
exits 0."""
import http.client
import json
import os
import shutil
import signal
import subprocess
import sys

from desk import (Desk, expect, preloaded, restore, sample_library, snapshot, strays, which_state,
                  write_library)

CRASHED = 99
STAFF = "staff.csv"


def start_server(desk, folder, env):
    """The server process and its port, read from its first line."""
    server = desk.start(folder, ["serve", "--listen", "127.0.0.1:0"], env)
    line = server.stdout.readline()
    expect(line.startswith("serving "), f"serve said: {line!r}")
    return server, int(line.rstrip().rstrip("/").rsplit(":", 1)[1])


def post(port, path, body, cookie="", csrf=""):
    """(status, headers, body) of a POST; None when the server is gone."""
    conn = http.client.HTTPConnection("127.0.0.1", port, timeout=30)
    headers = {"Content-Type": "application/json", "Cookie": cookie, "X-CSRF-Token": csrf}
    try:
        conn.request("POST", path, json.dumps(body), headers)
        res = conn.getresponse()
        return res.status, res.getheader("Set-Cookie") or "", res.read().decode()
    except (ConnectionError, http.client.HTTPException):
        return None
    finally:
        conn.close()


def checkout_through(port):
    """Logs bob in and lends book 2 to user 1; the checkout's status, or
    None when the server is gone."""
    login = post(port, "/api/login", {"name": "bob", "password": "bob-password"})
    expect(login is not None and login[0] == 200, f"login: {login}")
    cookie = login[1].split(";")[0]
    done = post(port, "/api/checkout", {"book": 2, "user": 1}, cookie,
                json.loads(login[2])["csrf"])
    return done[0] if done else None


def main(desk_path, interposer, scratch):
    shutil.rmtree(scratch, ignore_errors=True)
    desk = Desk([desk_path])
    folder = os.path.join(scratch, "web")
    write_library(folder, *sample_library(5, 3, 2))
    added = subprocess.run(desk.prefix + ["staff", "add", "bob", "--role", "desk"], cwd=folder,
                           env=desk.env, input="bob-password\n", text=True, capture_output=True)
    expect(added.returncode == 0, f"staff add: {added.stderr.strip()}")
    staff = open(os.path.join(folder, STAFF), "rb").read()
    desk.ok(folder, "book", "add", "Early", "Author", "Poetry")
    before = snapshot(folder)
    after = uncrashed(desk, folder)
    preload = preloaded(interposer)
    counts = {"before": 0, "after": 0}
    for n in range(1, 1000):
        restore_with_staff(folder, before, staff)
        server, port = start_server(desk, folder, dict(preload, LENDREC_CRASH_AT=str(n)))
        status = checkout_through(port)
        if status is not None:
            expect(status == 201, f"checkout at step {n}: {status}")
            server.send_signal(signal.SIGTERM)
            expect(server.wait(timeout=30) == 0, "the server did not stop cleanly")
            break
        expect(server.wait(timeout=30) == CRASHED, f"server at step {n}: {server.returncode}")
        desk.ok(folder, "check")
        state = which_state(folder, before, after)
        print(f"  step {n} -> {state}", flush=True)
        expect(state in counts, f"crashed at step {n}: {state}")
        left = [name for name in strays(folder) if name != STAFF]
        expect(not left, f"left after crash at step {n} and check: {left}")
        counts[state] += 1
    print(f"web checkout: crashed at {n - 1} steps, before: {counts['before']}, "
          f"after: {counts['after']}", flush=True)
    expect(n > 4 and counts["before"] > 0 and counts["after"] > 0,
           "too few crash points reached; is the interposer loaded?")


def restore_with_staff(folder, snap, staff):
    """The files of `snap`, and the staff file, which restore() removes."""
    restore(folder, snap)
    with open(os.path.join(folder, STAFF), "wb") as f:
        f.write(staff)
    os.chmod(os.path.join(folder, STAFF), 0o600)


def uncrashed(desk, folder):
    """The files after the checkout made through a server left alone."""
    server, port = start_server(desk, folder, {})
    expect(checkout_through(port) == 201, "the checkout failed uncrashed")
    server.send_signal(signal.SIGTERM)
    expect(server.wait(timeout=30) == 0, "the server did not stop cleanly")
    return snapshot(folder)


if __name__ == "__main__":
    main(*sys.argv[1:])
