#!/usr/bin/python3
"""The web desk under load, on loopback only: 8 clients of 250 mixed
requests each (look-ups, check-outs, returns and renewals on a few
contended books) beside a clerk at the command line lending and taking back
other books. Passes when no request failed other than by a rule of the
library (409), every check-out and return a client was told of is in the
record files as told, and `lendrec check` passes. Prints the latencies.

    load_test.py LENDREC_BINARY WORK_DIR
"""
import os
import random
import shutil
import sys
import threading
import time

import serving

CLIENTS = 8
REQUESTS = 250
BOOKS = 12  # books 1-4 have one copy each: the contended ones
USERS = 16
PASSWORD = "load test password"
CLI_ROUNDS = 25


def run(lendrec, folder, *args, stdin=None):
    return serving.run([lendrec, "-C", folder], *args, stdin=stdin,
                       env=dict(os.environ, LENDREC_CLERK="cli"))


def make_library(lendrec, folder):
    shutil.rmtree(folder, ignore_errors=True)
    steps = [("init",)]
    for b in range(1, BOOKS + 1):
        steps.append(("book", "add", f"Title {b}", f"Author {b}", "Novel", "--copies",
                      "1" if b <= 4 else "3"))
    for u in range(1, USERS + 1):
        steps.append(("user", "add", f"Reader {u}", f"{u} Mill Lane", f"+44 20 {u:03d} 12 34"))
    for step in steps:
        done = run(lendrec, folder, *step)
        assert done.returncode == 0, (step, done.stderr)
    serving.add_staff([lendrec, "-C", folder], "clerk", "desk", PASSWORD)


def timed(client, method, path, body=None):
    """(status, body, seconds taken) of one request."""
    started = time.perf_counter()
    status, answer = client.call(method, path, body)
    return status, answer, time.perf_counter() - started


def client_work(server, seed, told, latencies, errors):
    rng = random.Random(seed)
    client = serving.Session(server)
    client.login("clerk", PASSWORD)
    mine = []  # loans this client lent and has not taken back
    for _ in range(REQUESTS):
        pick = rng.random()
        user = rng.randint(1, USERS)
        if pick < 0.35:
            path = rng.choice([f"/api/books/{rng.randint(1, BOOKS)}", f"/api/users/{user}",
                               "/api/books?search=title", "/api/overdue"])
            status, body, took = timed(client, "GET", path)
            expected = (200,)
        elif pick < 0.65 or not mine:
            book = rng.randint(1, 6)  # the contended books and two of the others
            status, body, took = timed(client, "POST", "/api/checkout", {"book": book, "user": user})
            expected = (201, 409)
            if status == 201:
                mine.append(body["id"])
                told.append(("lent", body["id"]))
        elif pick < 0.85:
            loan = mine.pop(rng.randrange(len(mine)))
            status, body, took = timed(client, "POST", "/api/return", {"loan": loan})
            expected = (200,)
            if status == 200:
                told.append(("returned", loan))
        else:
            loan = rng.choice(mine)
            status, body, took = timed(client, "POST", "/api/renew", {"loan": loan})
            expected = (200, 409)
        latencies.append(took)
        if status not in expected:
            errors.append((status, body))


def clerk_work(lendrec, folder, errors):
    """A clerk at the command line lends and takes back books 11 and 12."""
    for round_ in range(CLI_ROUNDS):
        book = str(11 + round_ % 2)
        lent = run(lendrec, folder, "checkout", book, str(USERS))
        if lent.returncode not in (0, 1):
            errors.append(("cli checkout", lent.returncode, lent.stderr))
            continue
        back = run(lendrec, folder, "return", "--book", book, "--user", str(USERS))
        if back.returncode != 0 and lent.returncode == 0:
            errors.append(("cli return", back.returncode, back.stderr))


def loans_in_files(folder):
    """Loan id -> returned, as loans.csv holds them (id,user,book,date,due,returned)."""
    held = {}
    with open(os.path.join(folder, "loans.csv"), encoding="utf-8") as file:
        for line in file:
            cells = line.rstrip("\r\n").split(",")
            if len(cells) >= 6 and cells[0].isdigit():
                held[int(cells[0])] = cells[5] == "1"
    return held


def percentile(values, share):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(share * len(ordered)))]


def main():
    lendrec, work = sys.argv[1], sys.argv[2]
    folder = os.path.join(work, "load-library")
    make_library(lendrec, folder)
    told, latencies, errors = [], [], []
    with serving.Server([lendrec, "-C", folder]) as server:
        threads = [threading.Thread(target=client_work,
                                    args=(server, seed, told, latencies, errors))
                   for seed in range(CLIENTS)]
        threads.append(threading.Thread(target=clerk_work, args=(lendrec, folder, errors)))
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join(timeout=600)
        assert not any(t.is_alive() for t in threads), "a client never finished"
    assert not errors, f"{len(errors)} requests failed: {errors[:5]}"
    held = loans_in_files(folder)
    state = {}
    for what, loan in told:
        state[loan] = what == "returned"
    wrong = {loan: returned for loan, returned in state.items() if held.get(loan) != returned}
    assert not wrong, f"loans not in the files as the clients were told: {wrong}"
    check = run(lendrec, folder, "check")
    assert check.returncode == 0, check.stdout + check.stderr
    print(f"{len(latencies)} requests from {CLIENTS} clients beside {CLI_ROUNDS} command-line "
          f"rounds: {len(state)} loans lent, p50 {percentile(latencies, 0.5) * 1000:.1f} ms, "
          f"p99 {percentile(latencies, 0.99) * 1000:.1f} ms")


if __name__ == "__main__":
    main()
