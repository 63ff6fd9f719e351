"""clerks.py DESK SCRATCH [CLERKS] [COMMANDS] [SEED]

Several clerks at once, each a stream of desk processes checking out and
returning copies of the same few books for its own two readers. Afterwards
every command that reported success is in the files (one loan per
successful checkout, one returned loan per successful return, one hold per
hold placed), no copy is counted twice (shelf = copies - open loans -
copies set aside for holds, never below zero), no return set a copy aside
twice, and `check` passes."""
import collections
import os
import random
import shutil
import sys
import threading

from desk import Desk, expect, rows, sample_library, write_library

BOOKS, COPIES = 3, 2


def clerk(desk, folder, readers, commands, rng, tally, lock):
    held = set()  # (reader, book) pairs this clerk has out
    for _ in range(commands):
        pair = (rng.choice(readers), rng.randint(1, BOOKS))
        if pair in held:
            args = ("return", "--book", pair[1], "--user", pair[0])
        elif rng.random() < 0.3:
            args = ("hold", "place", pair[1], pair[0])
        else:
            args = ("checkout", pair[1], pair[0])
        code, _, err = desk.run(folder, *args)
        with lock:
            tally[(args[0], code)] += 1
            if code == 0:
                tally[(args[0],) + pair] += 1
            elif code != 1 or args[0] == "return":  # a hold or a checkout may be refused
                tally["unexpected"] += 1
                print(f"  {' '.join(map(str, args))}: exit {code}: {err.strip()}", flush=True)
        if code == 0 and args[0] != "hold":
            (held.discard if args[0] == "return" else held.add)(pair)


def main(desk_path, scratch, clerks="4", commands="50", seed=None):
    seed = int(seed) if seed else random.randrange(1 << 32)
    shutil.rmtree(scratch, ignore_errors=True)
    folder = os.path.join(scratch, "library")
    n = int(clerks)
    write_library(folder, *sample_library(BOOKS, 2 * n, 0, COPIES))
    desk = Desk([desk_path])
    tally, lock = collections.Counter(), threading.Lock()
    threads = [threading.Thread(target=clerk, args=(desk, folder, [2 * i + 1, 2 * i + 2],
                                                    int(commands), random.Random(seed + i),
                                                    tally, lock)) for i in range(n)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()

    loans = collections.Counter((int(r[1]), int(r[2])) for r in rows(folder, "loans.csv"))
    returned = collections.Counter((int(r[1]), int(r[2])) for r in rows(folder, "loans.csv")
                                   if r[5] != "0")
    for pair in {k[1:] for k in tally if isinstance(k, tuple) and len(k) == 3}:
        expect(loans[pair] == tally[("checkout",) + pair],
               f"reader {pair[0]}, book {pair[1]}: {tally[('checkout',) + pair]} checkouts "
               f"succeeded, {loans[pair]} loans in the file")
        expect(returned[pair] == tally[("return",) + pair],
               f"reader {pair[0]}, book {pair[1]}: {tally[('return',) + pair]} returns "
               f"succeeded, {returned[pair]} returned in the file")
    out = collections.Counter(int(r[2]) for r in rows(folder, "loans.csv") if r[5] == "0")
    holds = rows(folder, "holds.csv")[1:] if os.path.exists(os.path.join(folder, "holds.csv")) \
        else []
    aside = collections.Counter(int(h[1]) for h in holds if h[4] == "waiting")
    expect(len(holds) == sum(v for k, v in tally.items() if k[:1] == ("hold",) and len(k) == 3),
           f"{len(holds)} holds in the file, not one per hold placed")
    for b in rows(folder, "books.csv"):
        book = int(b[0])
        expect(0 <= int(b[5]) == int(b[4]) - out[book] - aside[book],
               f"book {b[0]}: {b[5]} on the shelf, {b[4]} copies, {out[book]} out, "
               f"{aside[book]} set aside")
    history = rows(folder, "history.csv")
    for book in range(1, BOOKS + 1):
        trapped = sum(1 for h in history if h[2] == "hold set aside" and h[4] == str(book))
        returns = sum(v for k, v in tally.items() if k[:1] == ("return",) and len(k) == 3
                      and k[2] == book)
        expect(trapped <= returns, f"book {book}: {trapped} copies set aside, {returns} returns")
    desk.ok(folder, "check")
    print(f"clerks: {n} x {commands} commands, seed {seed}: checkouts done "
          f"{tally[('checkout', 0)]}, refused {tally[('checkout', 1)]}; returns done "
          f"{tally[('return', 0)]}; holds placed {tally[('hold', 0)]}; "
          f"unexpected {tally['unexpected']}; "
          f"loans in the file {sum(loans.values())}, open {sum(out.values())}")
    expect(tally["unexpected"] == 0, "some commands failed other than by a refusal")
    expect(tally[("return", 0)] > 0 and tally[("checkout", 1)] > 0,
           "the clerks never competed for the last copy")


if __name__ == "__main__":
    main(*sys.argv[1:])
