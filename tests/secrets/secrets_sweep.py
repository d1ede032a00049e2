#!/usr/bin/env python3
"""Checks every log line and command line the test run recorded for secrets.

usage: secrets_sweep.py SWEEP_DIR SECRETS_LIST

SWEEP_DIR holds what the tests recorded while they ran (see CMakeLists.txt beside this
file): "*.lines" files of log lines and command lines, "*.log" files of the library's
default log, and "*.secrets" files of secrets the tests only learnt at run time (one per
line). SECRETS_LIST names the secrets the test suite hands to the library.

Every line of every recorded file that holds a secret, or a private key block, is a hit:
each one is reported with its file and line, the secret itself shown masked. Exit codes:
0 no hit, 1 hits, 2 bad arguments or list, 77 nothing was recorded (the test ran alone).
Once scanned, the files move to SWEEP_DIR.last, so that the next run starts empty and the
last run's files stay for a look.
"""
import collections
import os
import re
import shutil
import sys

SKIP = 77
# A harvested secret shorter than this would match ordinary words of a log.
SHORTEST_SECRET = 8
# Key material: a private key block, whatever its format.
KEY_MARKER = re.compile(rb"-----BEGIN [A-Z0-9 ]*PRIVATE KEY-----")


def shown(value):
    """A secret as a report may show it: its first four characters."""
    return value[:4].decode("utf-8", "replace") + "..."


class Secret:
    def __init__(self, label, pattern):
        self.label = label
        self.pattern = pattern  # compiled bytes regex


def load_list(path):
    """Reads "literal VALUE", "regex PATTERN" and "private-key-blocks" entries."""
    secrets = []
    with open(path, "rb") as f:
        for number, raw in enumerate(f, 1):
            line = raw.rstrip(b"\n")
            if not line.strip() or line.lstrip().startswith(b"#"):
                continue
            kind, _, value = line.partition(b" ")
            label = "%s:%d" % (os.path.basename(path), number)
            if kind == b"literal" and value:
                secrets.append(Secret(label + " " + shown(value), re.compile(re.escape(value))))
            elif kind == b"regex" and value:
                try:
                    secrets.append(Secret(label + " pattern", re.compile(value)))
                except re.error as e:
                    raise ValueError("%s: bad pattern: %s" % (label, e))
            elif kind == b"private-key-blocks" and not value:
                secrets.append(Secret(label + " (private key block)", KEY_MARKER))
            else:
                raise ValueError("%s: not an entry: %r" % (label, line))
    return secrets


def load_harvested(files):
    """Secrets the tests recorded at run time, each labelled by the file that named it."""
    secrets, seen = [], set()
    for path in files:
        with open(path, "rb") as f:
            for raw in f:
                value = raw.rstrip(b"\n")
                if len(value) < SHORTEST_SECRET or value in seen:
                    continue
                seen.add(value)
                label = "%s from %s" % (shown(value), os.path.basename(path))
                secrets.append(Secret(label, re.compile(re.escape(value))))
    return secrets


def masked(line, secrets):
    """The line with every secret in it replaced by its label, shortened for the report."""
    for secret in secrets:
        line = secret.pattern.sub(b"<secret " + secret.label.encode() + b">", line)
    text = line.decode("utf-8", "replace")
    return text if len(text) <= 400 else text[:400] + "... (%d characters)" % len(text)


def shape(text):
    """What a hit's line says, without the numbers and scratch folders that differ per run."""
    text = re.sub(r"/tmp/[^/\s]+", "/tmp/*", text)
    text = re.sub(r"^log: \S+ \S+ ", "log: ", text)  # the time stamp
    return re.sub(r"[0-9]+", "N", text)


def scan(paths, secrets):
    """Hits grouped by the shape of the masked line: {shape: [(file, number, labels, text)]}."""
    one = re.compile(b"|".join(b"(?:" + s.pattern.pattern + b")" for s in secrets))
    hits = collections.OrderedDict()
    for path in paths:
        with open(path, "rb") as f:
            for number, raw in enumerate(f, 1):
                if not one.search(raw):
                    continue
                line = raw.rstrip(b"\n")
                found = [s for s in secrets if s.pattern.search(line)]
                text = masked(line, found)
                hits.setdefault(shape(text), []).append(
                    (path, number, [s.label for s in found], text))
    return hits


def origin(path, cache={}):
    """The test a recorded file came from, when the file names it ("# argv:" line)."""
    if path not in cache:
        cache[path] = ""
        with open(path, "rb") as f:
            first = f.readline().decode("utf-8", "replace")
        found = re.search(r"--gtest_filter=(\S+)", first) if first.startswith("# argv:") else None
        if found:
            cache[path] = " (test %s)" % found.group(1)
    return cache[path]


def main(argv):
    if len(argv) != 3:
        print(__doc__.strip().splitlines()[2], file=sys.stderr)
        return 2
    sweep_dir, list_file = argv[1], argv[2]
    try:
        listed = load_list(list_file)
    except (OSError, ValueError) as e:
        print("secrets list: %s" % e, file=sys.stderr)
        return 2
    names = sorted(os.listdir(sweep_dir)) if os.path.isdir(sweep_dir) else []
    paths = [os.path.join(sweep_dir, n) for n in names]
    harvested_files = [p for p in paths if p.endswith(".secrets")]
    recorded = [p for p in paths if not p.endswith(".secrets") and os.path.isfile(p)
                and os.path.getsize(p) > 0]
    if not recorded:
        print("nothing recorded in %s: no test of this run wrote a log line or a command "
              "line (the sweep ran alone?)" % sweep_dir)
        return SKIP
    secrets = listed + load_harvested(harvested_files)
    hits = scan(recorded, secrets)

    lines = 0
    for path in recorded:
        with open(path, "rb") as f:
            lines += sum(1 for _ in f)
    print("scanned %d files (%d lines) for %d listed and %d run-time secrets"
          % (len(recorded), lines, len(listed), len(secrets) - len(listed)))
    total = sum(len(places) for places in hits.values())
    for places in hits.values():
        print("\nHIT (%d lines of this shape), first: %s" % (len(places), places[0][3]))
        for path, number, labels, _ in places:
            print("    %s:%d%s  [%s]" % (os.path.relpath(path, sweep_dir), number, origin(path),
                                         ", ".join(sorted(set(labels)))))

    last = sweep_dir.rstrip("/") + ".last"
    shutil.rmtree(last, ignore_errors=True)
    os.makedirs(last)
    for path in paths:
        shutil.move(path, os.path.join(last, os.path.basename(path)))
    print("\nthe scanned files are now in %s" % last)
    if total:
        print("FAILED: %d lines in %d distinct forms hold a secret" % (total, len(hits)))
        return 1
    print("no secret found")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
