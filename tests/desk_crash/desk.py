"""What the desk's crash, kill and two-clerk drivers share: running the
desk on a library folder, writing a library of a given size straight into
its record files, and comparing the folder with snapshots of its files."""
import os
import subprocess
import sys

FILES = ("books.csv", "users.csv", "loans.csv")
# The desk's own files beside them, committed with them once they exist.
DESK_FILES = ("history.csv", "renewals.csv", "holds.csv", "fines.csv")
KEPT = set(FILES) | set(DESK_FILES) | {"lendrec.lock", "library.toml"}
TODAY = "15/03/2026"
NOW = "2026-03-15T10:00:00Z"
PHONE = "+31 06 123 45 67"


class Desk:
    """The desk program, run as `prefix... args...` in the library folder
    (so that Windows builds under Wine see it as their current folder)."""

    def __init__(self, prefix):
        self.prefix = list(prefix[:-1]) + [os.path.abspath(prefix[-1])]
        # A set time, so that the history a command writes is the same each run.
        self.env = dict(os.environ, LENDREC_TODAY=TODAY, LENDREC_NOW=NOW, LENDREC_LOCK_TIMEOUT="30")
        self.env.pop("LENDREC_LIBRARY", None)

    def start(self, folder, args, env=None):
        return subprocess.Popen(self.prefix + [str(a) for a in args], cwd=folder,
                                env=dict(self.env, **(env or {})), stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, text=True)

    def run(self, folder, *args, env=None, timeout=None):
        """Runs the desk; (status, output, errors). Kills it and raises
        subprocess.TimeoutExpired when it outlasts `timeout` seconds."""
        p = self.start(folder, args, env)
        try:
            out, err = p.communicate(timeout=timeout)
        except subprocess.TimeoutExpired:
            p.kill()
            p.communicate()
            raise
        return p.returncode, out, err

    def ok(self, folder, *args):
        """Runs a command that must succeed; returns its standard output."""
        code, out, err = self.run(folder, *args)
        expect(code == 0, f"`{' '.join(map(str, args))}` exited {code}: {err.strip()}")
        return out


def preloaded(interposer):
    """The environment that loads the interposer (crash_at.c) into the
    desk, also into a sanitized build."""
    asan = os.environ.get("ASAN_OPTIONS", "")
    return {"LD_PRELOAD": os.path.abspath(interposer),
            "ASAN_OPTIONS": asan + (":" if asan else "") + "verify_asan_link_order=0"}


def expect(cond, message):
    if not cond:
        print(f"FAILED: {message}", flush=True)
        sys.exit(1)


def write_library(folder, books, users, loans, newline="\n"):
    """Writes the three record files from lists of field tuples; each
    trailer is one past the highest identifier."""
    os.makedirs(folder, exist_ok=True)
    for name, rows in zip(FILES, (books, users, loans)):
        text = "".join(",".join(map(str, r)) + newline for r in rows)
        with open(os.path.join(folder, name), "w", newline="") as f:
            f.write(text + str(max((r[0] for r in rows), default=0) + 1))


def sample_library(n_books, n_users, open_loans, copies=3):
    """Books with `copies` copies each, users, and `open_loans` open loans
    spread over them, the shelf counts agreeing; all in order for today."""
    loans = [(i + 1, i % n_users + 1, i % n_books + 1, "01/03/2026", "29/03/2026", 0)
             for i in range(open_loans)]
    out = [0] * (n_books + 1)
    for loan in loans:
        out[loan[2]] += 1
    books = [(b, f"Title {b}", f"Author {b % 97}", "Novel", copies, copies - out[b])
             for b in range(1, n_books + 1)]
    users = [(u, f"Reader {u}", f"{u} High Street", PHONE) for u in range(1, n_users + 1)]
    return books, users, loans


def snapshot(folder):
    """The bytes of the record files and of the desk's files that exist."""
    names = FILES + tuple(n for n in DESK_FILES if os.path.exists(os.path.join(folder, n)))
    return {n: open(os.path.join(folder, n), "rb").read() for n in names}


def restore(folder, snap):
    for n in os.listdir(folder):
        if n not in KEPT or (n in DESK_FILES and n not in snap):
            os.remove(os.path.join(folder, n))
    for n, data in snap.items():
        with open(os.path.join(folder, n), "wb") as f:
            f.write(data)


def strays(folder):
    """Files in the folder besides the record files, the desk's and the lock."""
    return sorted(set(os.listdir(folder)) - KEPT)


def which_state(folder, before, after):
    """"before" or "after" when the files equal that snapshot entirely;
    otherwise a description of the mixture."""
    now = snapshot(folder)
    if now == before:
        return "before"
    if now == after:
        return "after"
    return "mixed: " + ", ".join(f"{n} is " + ("before" if now.get(n) == before.get(n) else
                                               "after" if now.get(n) == after.get(n) else
                                               "neither")
                                 for n in sorted(set(now) | set(before) | set(after)))


def rows(folder, name):
    """The record lines of one file as lists of fields (no quoted fields)."""
    text = open(os.path.join(folder, name), newline="").read()
    return [line.rstrip("\r").split(",") for line in text.split("\n")[:-1]]
