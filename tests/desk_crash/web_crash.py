"""web_crash.py DESK INTERPOSER SCRATCH

Crashes the web desk (`lendrec serve`) at every step of a checkout's
commit: the interposer ends the server just before its Nth write, flush,
rename or removal, for N = 1, 2, ... until the checkout completes without
reaching N. After each crash `lendrec check` must pass, leave no stray
file, and the files must hold the state before the checkout or after it,
entirely. The server, stopped by SIGTERM after a checkout that completed,
exits 0."""
import http.client
import os
import shutil
import sys

from desk import (Desk, expect, preloaded, restore, sample_library, snapshot, strays, which_state,
                  write_library)
from serving import Server, Session, add_staff

CRASHED = 99
STAFF = "staff.csv"


def start_server(desk, folder, env):
    """The server over `folder`, run as the desk is with `env` added."""
    return Server(desk.prefix, env=dict(desk.env, **env), cwd=folder)


def checkout_through(server):
    """Logs bob in and lends book 2 to user 1; the checkout's status, or
    None when the server is gone."""
    client = Session(server)
    client.login("bob", "bob-password")
    try:
        return client.call("POST", "/api/checkout", {"book": 2, "user": 1})[0]
    except (OSError, http.client.HTTPException):
        return None


def main(desk_path, interposer, scratch):
    shutil.rmtree(scratch, ignore_errors=True)
    desk = Desk([desk_path])
    folder = os.path.join(scratch, "web")
    write_library(folder, *sample_library(5, 3, 2))
    add_staff(desk.prefix, "bob", "desk", "bob-password", env=desk.env, cwd=folder)
    staff = open(os.path.join(folder, STAFF), "rb").read()
    desk.ok(folder, "book", "add", "Early", "Author", "Poetry")
    before = snapshot(folder)
    after = uncrashed(desk, folder)
    preload = preloaded(interposer)
    counts = {"before": 0, "after": 0}
    for n in range(1, 1000):
        restore_with_staff(folder, before, staff)
        server = start_server(desk, folder, dict(preload, LENDREC_CRASH_AT=str(n)))
        status = checkout_through(server)
        if status is not None:
            expect(status == 201, f"checkout at step {n}: {status}")
            server.stop()
            break
        expect(server.process.wait(timeout=30) == CRASHED,
               f"server at step {n}: {server.process.returncode}")
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
    server = start_server(desk, folder, {})
    expect(checkout_through(server) == 201, "the checkout failed uncrashed")
    server.stop()
    return snapshot(folder)


if __name__ == "__main__":
    main(*sys.argv[1:])
