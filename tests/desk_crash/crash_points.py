"""crash_points.py DESK INTERPOSER SCRATCH

Crashes each changing command at every step of its save and commit: the
interposer ends the desk just before its Nth write, flush, rename or
removal, for N = 1, 2, ... until the command completes without reaching N.
After each crash the next command (`check`) must pass, leave no stray file
behind, and the record files with the history and the renewals must hold
the state before the command or the state after it, entirely, each with
the mode it had. Holds, fines and the history are among the files
changed.

Then makes each of those steps fail (EIO) instead: the exit status must
tell the truth. Status 5 leaves the files as they were, and the clerk's
retry makes the change once; status 0 (a warning at most: the change was
decided, tidying failed) leaves a change the next command completes."""
import os
import shutil
import sys

from desk import (Desk, expect, preloaded, restore, sample_library, snapshot, strays, which_state,
                  write_library)

CRASHED = 99
WRITE_FAILED = 5
# Each record file with a mode of its own, none the desk would choose.
MODES = {"books.csv": 0o604, "users.csv": 0o600, "loans.csv": 0o660}
# Book 6 has one copy, lent to user 1 long ago: user 2 may hold it, and
# its return is fined and sets the copy aside.
RARE = (("book", "add", "Rare Title", "Rare Author", "Poetry"),
        ("checkout", 6, 1, "--date", "01/01/2026"))
HELD = RARE + (("hold", "place", 6, 2),)
POLICY = "[fine]\nper_day = 20\ncap = 500\n"
# What each command is first given to work on, by name; the first command
# begins the library's history, the others add to one.
PREPARED = {
    "hold place": RARE,
    "return to a hold, fined": HELD,
    "fine pay": HELD + (("return", "--book", 6, "--user", 1),),
}
COMMANDS = (
    ("checkout", "checkout", 2, 1),
    ("return", "return", 1),
    ("renew", "renew", 1),
    ("hold place", "hold", "place", 6, 2),
    ("return to a hold, fined", "return", "--book", 6, "--user", 1),
    ("fine pay", "fine", "pay", 1, "1.00"),
    ("book add", "book", "add", "Fresh Title", "Fresh Author", "Poetry", "--copies", 2),
)


def crash_every_step(desk, folder, command, preload):
    """Runs `command` crashed at step 1, 2, ...; returns (steps, counts,
    before, after)."""
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
            return n - 1, counts, before, after
        desk.ok(folder, "check")
        state = which_state(folder, before, after)
        print(f"  {err.strip().splitlines()[-1]} -> {state}")
        expect(state in counts, f"{command} crashed at step {n}: {state}")
        expect(not strays(folder), f"left after crash at step {n} and check: {strays(folder)}")
        expect_modes(folder, f"after a crash at step {n}")
        counts[state] += 1
    expect(False, f"{command} never completed")


def expect_modes(folder, when):
    modes = {n: os.stat(os.path.join(folder, n)).st_mode & 0o7777 for n in MODES}
    expect(modes == MODES, f"modes {when}: " + ", ".join(f"{n} {m:o}" for n, m in modes.items()))


def fail_every_step(desk, folder, command, preload, steps, before, after):
    """Runs `command` with step 1..steps failing; returns how many ended
    with status 5 and how many with 0 and a warning."""
    counts = {"refused": 0, "warned": 0}
    for n in range(1, steps + 1):
        restore(folder, before)
        code, out, err = desk.run(folder, *command, env=dict(preload, LENDREC_FAIL_AT=str(n)))
        told = err.strip().splitlines()
        print(f"  {told[0] if told else ''} -> exit {code}")
        if code == WRITE_FAILED:
            expect(which_state(folder, before, after) == "before" and not strays(folder),
                   f"{command} failed at step {n} with status 5 but changed the folder: "
                   f"{which_state(folder, before, after)}, {strays(folder)}")
            desk.ok(folder, *command)  # the clerk tries again
            counts["refused"] += 1
        else:
            expect(code == 0, f"{command} failing at step {n}: exit {code}: {err.strip()}")
            desk.ok(folder, "check")
            counts["warned"] += "the change is made" in err
        expect(which_state(folder, before, after) == "after" and not strays(folder),
               f"{command} failing at step {n}, then the next command: "
               f"{which_state(folder, before, after)}, {strays(folder)}")
        expect_modes(folder, f"after a failure at step {n}")
    return counts


def main(desk_path, interposer, scratch):
    shutil.rmtree(scratch, ignore_errors=True)
    desk = Desk([desk_path])
    preload = preloaded(interposer)
    for name, *command in COMMANDS:
        folder = os.path.join(scratch, name.replace(" ", "_"))
        write_library(folder, *sample_library(5, 3, 2))
        for file, mode in MODES.items():
            os.chmod(os.path.join(folder, file), mode)
        with open(os.path.join(folder, "library.toml"), "w") as f:
            f.write(POLICY)
        if name != COMMANDS[0][0]:
            for step in PREPARED.get(name, (("book", "add", "Early", "Author", "Poetry"),)):
                desk.ok(folder, *step)
        print(f"{name}:", flush=True)
        steps, counts, before, after = crash_every_step(desk, folder, command, preload)
        print(f"{name}: crashed at {steps} steps, before: {counts['before']}, "
              f"after: {counts['after']}", flush=True)
        # Two files change together in a commit worth the name: several
        # steps, each side of the commit point reached at least once.
        expect(steps >= 4 and counts["before"] > 0 and counts["after"] > 0,
               f"{name}: too few crash points reached; is the interposer loaded?")
        failed = fail_every_step(desk, folder, command, preload, steps, before, after)
        print(f"{name}: failed at {steps} steps, status 5: {failed['refused']}, "
              f"status 0 with a warning: {failed['warned']}", flush=True)
        expect(failed["refused"] > 0 and failed["warned"] > 0,
               f"{name}: no failure reached each side of the commit point")


if __name__ == "__main__":
    main(*sys.argv[1:])
