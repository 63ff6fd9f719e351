#!/usr/bin/env python3
"""Runs one desk transcript: commands, their expected output and status.

    run_transcript.py --lendrec PROGRAM [--emulator A|B|C] [--rule RULE]
                      --schemas DIR --scratch DIR TRANSCRIPT

Every transcript runs in its own fresh scratch folder, the working folder of
its commands. A transcript is plain text, one directive a line:

    # a comment
    $ lendrec ARGS...     run the desk (arguments split as a shell would)
    TEXT                  a line the command must print on standard output
    ! TEXT                a line it must print on standard error
    ? N                   its exit status (0 when not given)
    @cat FILE             FILE's text (CR LF read as LF) is the "output"
    @write FILE           write the "| " lines that follow into FILE, joined
    | TEXT                by line ends, with no line end after the last
    @remove FILE          remove FILE
    @files                the folder's file names, one a line, are the "output"
    @snapshot             remember every file of the folder, byte for byte
    @unchanged            every file is as remembered (the lock file aside)
    @env NAME=VALUE       set (or with no VALUE, unset) for later commands
    @only RULE            the transcript applies to that phone rule only
    @hold                 hold lendrec.lock exclusively (as another clerk
    @release              would) until @release; POSIX flock, native only
    @copy NAME            copy data/NAME (beside the transcript) into the folder
    @same FILE NAME       FILE is byte for byte data/NAME
    @stdout full|closed   the next command writes to /dev/full, or to a pipe
                          no one reads (closed before it starts); POSIX only
    @stdin                the "| " lines that follow, each ended by LF, are
                          the next command's standard input (else it has none)

Blank lines at the end of a command's output, expected or printed, are not
compared: in a transcript they only separate cases.

Commands run with LENDREC_TODAY=15/01/2026, LENDREC_NOW=2026-01-15T09:30:00Z,
LENDREC_CLERK=desk and LENDREC_LOCK_TIMEOUT=1 unless @env says otherwise. Output with --json must parse as JSON and is
compared as JSON: the expected value may be written on one line. When such
a command succeeds (status 0), its output must also be valid against the JSON
Schema that DIR/commands.json names for its command words (the longest
prefix of its words that has an entry, e.g. "book list"); a --json command
with no entry fails.
"""
import argparse
import json
import os
import shlex
import shutil
import subprocess
import sys

try:
    import jsonschema
except ImportError:
    raise SystemExit("run_transcript.py: the jsonschema module is missing "
                     "(Debian: python3-jsonschema); --json answers cannot be checked")

SKIPPED = 77


class Case:
    def __init__(self, line_no, kind, argument):
        self.line_no, self.kind, self.argument = line_no, kind, argument
        self.stdout, self.stderr, self.status, self.body = [], [], 0, []


def parse(path):
    """The transcript's directives as a list of Case."""
    cases = []
    with open(path, encoding="utf-8") as text:
        for number, raw in enumerate(text, 1):
            line = raw.rstrip("\n")
            if line.startswith("#") or (not line and not cases):
                continue
            if line.startswith("$ ") or line.startswith("@"):
                word, _, rest = line.partition(" ")
                cases.append(Case(number, word, rest))
            elif not cases:
                raise SystemExit(f"{path}:{number}: output before any command")
            elif line.startswith("! ") or line == "!":
                cases[-1].stderr.append(line[2:])
            elif line.startswith("? "):
                cases[-1].status = int(line[2:])
            elif line.startswith("| ") or line == "|":
                cases[-1].body.append(line[2:])
            else:
                cases[-1].stdout.append(line)
    for case in cases:  # blank lines between cases only separate them
        while case.stdout and not case.stdout[-1]:
            case.stdout.pop()
    return cases


def lines(data):
    return data.decode("utf-8", "replace").replace("\r\n", "\n").splitlines()


def snapshot(folder):
    return {name: open(os.path.join(folder, name), "rb").read()
            for name in sorted(os.listdir(folder)) if name != "lendrec.lock"}


def compare(what, expected, actual):
    if expected == actual:
        return []
    report = [f"  {what} differs; expected:"] + [f"    |{l}" for l in expected]
    return report + ["  got:"] + [f"    |{l}" for l in actual]


class Schemas:
    """The JSON Schemas of --json answers: commands.json maps command words
    to schema files, which refer to each other by file name."""

    def __init__(self, folder):
        self.folder = folder
        with open(os.path.join(folder, "commands.json"), encoding="utf-8") as f:
            self.commands = json.load(f)
        self.store = {}
        for name in os.listdir(folder):
            if name.endswith(".schema.json"):
                with open(os.path.join(folder, name), encoding="utf-8") as f:
                    self.store[name] = json.load(f)

    def words(self, args):
        """The command words of a lendrec command line: its arguments that
        are not options, the folder option's value left out."""
        words, skip = [], False
        for arg in args:
            if skip or arg.startswith("-"):
                skip = arg in ("-C", "--library")
                continue
            words.append(arg)
        return words

    def failures(self, args, value):
        words = self.words(args)
        for length in range(len(words), 0, -1):
            command = " ".join(words[:length])
            if command in self.commands:
                break
        else:
            return [f"  no schema for {' '.join(words)} in commands.json"]
        schema = self.store[self.commands[command]]
        resolver = jsonschema.RefResolver.from_schema(schema, store=self.store)
        validator = jsonschema.validators.validator_for(schema)(schema, resolver=resolver)
        return [f"  --json answer not valid against {self.commands[command]}: "
                f"{'/'.join(map(str, e.absolute_path))}: {e.message}"
                for e in validator.iter_errors(value)]


def unwritable(kind):
    """A file descriptor no write succeeds on: /dev/full, or a pipe whose
    reading end is already closed."""
    if kind == "full":
        return os.open("/dev/full", os.O_WRONLY)
    read, write = os.pipe()
    os.close(read)
    return write


def run(case, options, env, folder, stdout_kind=None, stdin_text=None):
    """The failures of one command, as report lines."""
    args = shlex.split(case.argument)
    if not args or args[0] != "lendrec":
        return [f"  not a lendrec command: {case.argument}"]
    command = options.emulator + [options.lendrec] + args[1:]
    given = ({"input": stdin_text.encode("utf-8")} if stdin_text is not None
             else {"stdin": subprocess.DEVNULL})
    if stdout_kind:
        target = unwritable(stdout_kind)
        done = subprocess.run(command, cwd=folder, env=env, stdout=target,
                              stderr=subprocess.PIPE, timeout=120, **given)
        os.close(target)
        done.stdout = b""
    else:
        done = subprocess.run(command, cwd=folder, env=env, capture_output=True, timeout=120,
                              **given)
    out, err = lines(done.stdout), lines(done.stderr)
    while out and not out[-1]:
        out.pop()
    failures = compare("stderr", case.stderr, err)
    if done.returncode != case.status:
        failures.append(f"  exit status {done.returncode}, expected {case.status}")
    if "--json" not in args or not done.stdout.strip():
        return compare("stdout", case.stdout, out) + failures
    try:
        printed = json.loads(done.stdout.decode("utf-8"))
    except ValueError as error:
        return failures + [f"  --json output does not parse: {error}"]
    if done.returncode == 0:
        failures += options.schemas.failures(args[1:], printed)
    if printed != json.loads("\n".join(case.stdout)):
        failures += compare("JSON", case.stdout, [json.dumps(printed, ensure_ascii=False)])
    return failures


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--lendrec", required=True)
    parser.add_argument("--emulator", default="")
    parser.add_argument("--rule", default="pattern")
    parser.add_argument("--schemas", required=True)
    parser.add_argument("--scratch", required=True)
    parser.add_argument("transcript")
    options = parser.parse_args()
    options.emulator = [a for a in options.emulator.split("|") if a]
    options.schemas = Schemas(options.schemas)

    cases = parse(options.transcript)
    for case in cases:
        if case.kind == "@only" and case.argument != options.rule:
            print(f"skipped: for the {case.argument} rule only")
            return SKIPPED
    folder = options.scratch
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    env = {k: v for k, v in os.environ.items() if k not in ("LENDREC_LIBRARY", "COLUMNS")}
    env.update(LENDREC_TODAY="15/01/2026", LENDREC_NOW="2026-01-15T09:30:00Z",
               LENDREC_CLERK="desk", LENDREC_LOCK_TIMEOUT="1")
    remembered, failed, stdout_kind, stdin_text = {}, 0, None, None
    data_dir = os.path.join(os.path.dirname(os.path.abspath(options.transcript)), "data")
    for case in cases:
        failures = []
        if case.kind == "$":
            failures = run(case, options, env, folder, stdout_kind, stdin_text)
            stdout_kind, stdin_text = None, None
        elif case.kind == "@stdin":
            stdin_text = "".join(line + "\n" for line in case.body)
        elif case.kind == "@cat":
            with open(os.path.join(folder, case.argument), "rb") as f:
                failures = compare(case.argument, case.stdout, lines(f.read()))
        elif case.kind == "@write":
            with open(os.path.join(folder, case.argument), "wb") as f:
                f.write("\n".join(case.body).encode("utf-8"))
        elif case.kind == "@copy":
            shutil.copy(os.path.join(data_dir, case.argument), folder)
        elif case.kind == "@same":
            name, _, data = case.argument.partition(" ")
            with open(os.path.join(folder, name), "rb") as f, \
                    open(os.path.join(data_dir, data), "rb") as g:
                if f.read() != g.read():
                    failures = [f"  {name} is not byte for byte data/{data}"]
        elif case.kind == "@files":
            failures = compare("files", case.stdout, sorted(os.listdir(folder)))
        elif case.kind == "@hold":
            import fcntl
            holder = open(os.path.join(folder, "lendrec.lock"), "a")
            fcntl.flock(holder, fcntl.LOCK_EX)
        elif case.kind == "@release":
            holder.close()
        elif case.kind == "@remove":
            os.remove(os.path.join(folder, case.argument))
        elif case.kind == "@snapshot":
            remembered = snapshot(folder)
        elif case.kind == "@unchanged":
            now = snapshot(folder)
            if now != remembered:
                changed = sorted(n for n in set(now) | set(remembered)
                                 if now.get(n) != remembered.get(n))
                failures = [f"  files changed: {', '.join(changed)}"]
        elif case.kind == "@env":
            name, _, value = case.argument.partition("=")
            if value:
                env[name] = value
            else:
                env.pop(name, None)
        elif case.kind == "@stdout" and case.argument in ("full", "closed"):
            stdout_kind = case.argument
        elif case.kind != "@only":
            failures = [f"  unknown directive {case.kind}"]
        if failures:
            failed += 1
            print(f"{options.transcript}:{case.line_no}: {case.kind} {case.argument}")
            print("\n".join(failures))
    count = sum(1 for c in cases if c.kind == "$")
    print(f"{count} commands, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
