"""desk_folder.py SCRATCH LF|CRLF DESK HOLDER [EMULATOR...]

The library folder's own machinery on this platform (run under Wine for
the Windows build, where no interposer can crash the desk):
- lock: while another process holds the library's lock, a changing command
  says the library is busy (exit 4) within LENDREC_LOCK_TIMEOUT, changes
  nothing, and works once the lock is let go;
- recovery: a complete commit record left with its staged files is rolled
  forward by the next command; an unfinished one is dropped with them;
  core temporaries are removed;
- a session on record files with the platform's line ends: checkout,
  return and check, the record files keeping those line ends."""
import os
import shutil
import subprocess
import sys
import time

from desk import (FILES, Desk, expect, restore, rows, sample_library, snapshot, strays,
                  write_library)


def lock(desk, folder, holder):
    before = snapshot(folder)
    signal = os.path.join(folder, "..", "held")
    p = subprocess.Popen(holder + [".", "../held"], cwd=folder)
    deadline = time.monotonic() + 60
    while not os.path.exists(signal) and time.monotonic() < deadline and p.poll() is None:
        time.sleep(0.05)
    expect(os.path.exists(signal), "the lock holder never took the lock")
    try:
        start = time.monotonic()
        code, _, err = desk.run(folder, "user", "add", "Ann Other", "Lane 1", "+31 06 123 45 67",
                                env={"LENDREC_LOCK_TIMEOUT": "1"})
        took = time.monotonic() - start
    finally:
        os.remove(signal)  # lets the holder go
    expect(code == 4 and "busy" in err, f"under another's lock: exit {code}: {err.strip()}")
    expect(snapshot(folder) == before, "a busy command changed the files")
    print(f"lock: busy after {took:.1f} s (timeout 1 s, process start included)")
    expect(took < 8, "the busy command waited far past its timeout")
    expect(p.wait() == 0, "the lock holder failed")
    desk.ok(folder, "user", "add", "Ann Other", "Lane 1", "+31 06 123 45 67")


def recovery(desk, folder):
    before = snapshot(folder)
    desk.ok(folder, "checkout", 2, 1)
    after = snapshot(folder)
    staged = ["books.csv.new", "loans.csv.new"]
    # The history's new lines are staged alone, to be added where it ends.
    grown = len(before.get("history.csv", b""))
    for complete in (True, False):
        restore(folder, before)
        for name in staged:
            with open(os.path.join(folder, name), "wb") as f:
                f.write(after[name[:-4]])
        with open(os.path.join(folder, "history.csv.new"), "wb") as f:
            f.write(after["history.csv"][grown:])
        with open(os.path.join(folder, "books.csv.0a1b2c3d"), "wb") as f:
            f.write(after["books.csv"][:20])
        record = ("lendrec commit 1\n" + "".join(f"{n} {n[:-4]}\n" for n in staged) +
                  f"history.csv.new history.csv +{grown}\n")
        with open(os.path.join(folder, "lendrec.commit"), "w", newline="") as f:
            f.write(record + ("end\n" if complete else ""))
        desk.ok(folder, "check")
        expect(snapshot(folder) == (after if complete else before),
               f"a {'complete' if complete else 'cut-short'} commit record was not "
               f"{'rolled forward' if complete else 'discarded'}")
        expect(not strays(folder), f"left after recovery: {strays(folder)}")
    print("recovery: a complete commit rolled forward, a cut-short one discarded")


def session(desk, folder, newline):
    desk.ok(folder, "checkout", 3, 2)
    code, _, err = desk.run(folder, "return", "--book", 3, "--user", 2, "--date", "20/04/2026")
    expect(code == 0, f"return exited {code}: {err.strip()}")
    desk.ok(folder, "check")
    returned = [r for r in rows(folder, "loans.csv") if r[1:3] == ["2", "3"]]
    expect(len(returned) == 1 and returned[0][5] == "1", f"loans of reader 2, book 3: {returned}")
    # The record files keep the platform's line ends; the desk's own files
    # (the history) are written with LF everywhere.
    for name, data in snapshot(folder).items():
        if name not in FILES:
            continue
        plain = data.replace(b"\r\n", b"\n")
        expect(b"\r" not in plain and plain.replace(b"\n", newline.encode()) == data,
               f"{name} does not keep {newline!r} line ends")
    print(f"session: checkout, return and check on {newline!r} files")


def main(scratch, line_end, desk_path, holder_path, *emulator):
    newline = {"LF": "\n", "CRLF": "\r\n"}[line_end]
    shutil.rmtree(scratch, ignore_errors=True)
    desk = Desk(list(emulator) + [desk_path])
    for name, test in (("lock", lambda f: lock(desk, f, list(emulator) + [os.path.abspath(holder_path)])),
                       ("recovery", lambda f: recovery(desk, f)),
                       ("session", lambda f: session(desk, f, newline))):
        folder = os.path.join(scratch, name)
        write_library(folder, *sample_library(5, 3, 2), newline=newline)
        test(folder)


if __name__ == "__main__":
    main(*sys.argv[1:])
