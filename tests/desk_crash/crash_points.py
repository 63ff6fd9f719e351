"""crash_points.py DESK INTERPOSER SCRATCH

Crashes each changing command at every step of its save and commit: the
interposer ends the desk just before its Nth write, flush, rename or
removal, for N = 1, 2, ... until the command completes without reaching N.
After each crash the next command (`check`) must pass, leave no stray file
behind, and the three record files must hold the state before the command
or the state after it, entirely."""
import os
import shutil
import sys

from desk import Desk, expect, restore, sample_library, snapshot, strays, which_state, write_library

CRASHED = 99
COMMANDS = (
    ("checkout", "checkout", 2, 1),
    ("return", "return", 1),
    ("book add", "book", "add", "Fresh Title", "Fresh Author", "Poetry", "--copies", 2),
)


def crash_every_step(desk, folder, command, preload):
    """Runs `command` crashed at step 1, 2, ...; returns (steps, before, after)."""
    before = snapshot(folder)
    desk.ok(folder, *command)
    after = snapshot(folder)
    expect(after != before, f"{command} changed nothing")
    counts = {"before": 0, "after": 0}
    for n in range(1, 1000):
        restore(folder, before)
        code, out, err = desk.run(folder, *command, env=dict(preload, LENDREC_CRASH_AT=str(n)))
        if code != CRASHED:
            expect(code == 0 and which_state(folder, before, after) == "after",
                   f"{command} uncrashed at step {n}: exit {code}: {err.strip()}")
            return n - 1, counts
        desk.ok(folder, "check")
        state = which_state(folder, before, after)
        print(f"  {err.strip().splitlines()[-1]} -> {state}")
        expect(state in counts, f"{command} crashed at step {n}: {state}")
        expect(not strays(folder), f"left after crash at step {n} and check: {strays(folder)}")
        counts[state] += 1
    expect(False, f"{command} never completed")


def main(desk_path, interposer, scratch):
    shutil.rmtree(scratch, ignore_errors=True)
    desk = Desk([desk_path])
    asan = os.environ.get("ASAN_OPTIONS", "")
    preload = {"LD_PRELOAD": os.path.abspath(interposer),
               "ASAN_OPTIONS": asan + (":" if asan else "") + "verify_asan_link_order=0"}
    for name, *command in COMMANDS:
        folder = os.path.join(scratch, name.replace(" ", "_"))
        write_library(folder, *sample_library(5, 3, 2))
        print(f"{name}:", flush=True)
        steps, counts = crash_every_step(desk, folder, command, preload)
        print(f"{name}: crashed at {steps} steps, before: {counts['before']}, "
              f"after: {counts['after']}", flush=True)
        # Two files change together in a commit worth the name: several
        # steps, each side of the commit point reached at least once.
        expect(steps >= 4 and counts["before"] > 0 and counts["after"] > 0,
               f"{name}: too few crash points reached; is the interposer loaded?")


if __name__ == "__main__":
    main(*sys.argv[1:])
