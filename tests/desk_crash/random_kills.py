"""random_kills.py DESK SCRATCH [KILLS] [SEED]

SIGKILLs `checkout` and `return` at random moments on a library of a few
thousand books, users and loans, the delays spread from the start of the
process to a little past its usual end. After each kill the next command
(`check`) must pass and leave no stray file, and the record files must hold
the state before the command or after it, entirely."""
import os
import random
import shutil
import statistics
import sys
import time

from desk import Desk, expect, restore, sample_library, snapshot, strays, which_state, write_library

COMMANDS = (("checkout", 4321, 999), ("return", 1234))


def timed(desk, folder, command, before):
    """How long the command takes, uncrashed (median of three)."""
    spans = []
    for _ in range(3):
        restore(folder, before)
        start = time.monotonic()
        desk.ok(folder, *command)
        spans.append(time.monotonic() - start)
    return statistics.median(spans)


def main(desk_path, scratch, kills="200", seed=None):
    seed = int(seed) if seed else random.randrange(1 << 32)
    print(f"random kills: seed {seed}", flush=True)
    rng = random.Random(seed)
    shutil.rmtree(scratch, ignore_errors=True)
    desk = Desk([desk_path])
    folder = os.path.join(scratch, "library")
    write_library(folder, *sample_library(5000, 1500, 5000))
    before = snapshot(folder)
    cases = []
    for command in COMMANDS:
        span = timed(desk, folder, command, before)
        cases.append((command, span, snapshot(folder)))
        restore(folder, before)
        print(f"{command[0]}: {span * 1000:.1f} ms uncrashed", flush=True)

    counts = {"before": 0, "after": 0, "finished": 0, "left debris": 0}
    landed = 0
    while landed < int(kills):
        command, span, after = cases[landed % len(cases)]
        restore(folder, before)
        p = desk.start(folder, command)
        time.sleep(rng.uniform(0, span * 1.2))
        p.kill()
        p.communicate()
        if p.returncode == 0:
            counts["finished"] += 1
        else:
            expect(p.returncode == -9, f"{command} exited {p.returncode} before its kill")
            landed += 1
            counts["left debris"] += bool(strays(folder))
        desk.ok(folder, "check")
        state = which_state(folder, before, after)
        expect(state in counts, f"{command} killed: {state}")
        expect(not strays(folder), f"after a kill and check: {strays(folder)}")
        counts[state] += 1
    print(f"random kills: {landed}, before: {counts['before']}, after: {counts['after']} "
          f"(of which {counts['finished']} finished before their kill), "
          f"kills that left temporaries or a commit record: {counts['left debris']}, seed {seed}")
    expect(counts["before"] > 0 and counts["after"] > counts["finished"],
           "the kills did not land on both sides of the commit")


if __name__ == "__main__":
    main(*sys.argv[1:])
