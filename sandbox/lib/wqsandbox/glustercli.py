"""The `gluster` command of the sandbox's nodes.

Every command goes to the real gluster CLI, except `snapshot ...`, which is
emulated (see snapshots.py) with the real CLI's texts, stream split and exit
codes. Standard output is held back until the command ends, as the real CLI's
block-buffered output is when it goes to a pipe, so that on a shared pipe the
error lines come first; on a terminal it is written at once.
"""

import os
import re
import subprocess
import sys
import time

from . import faults
from . import layout as lay
from . import snapshots as snaps

FAILED = "Snapshot command failed\n"
NOT_STARTED_STATES = ("Created", "Stopped")
USAGE = {
    "create": "snapshot create <snapname> <volname> [no-timestamp] [description <description>]",
    "activate": "snapshot activate <snapname> [force]",
    "deactivate": "snapshot deactivate <snapname>",
    "delete": "snapshot delete (all | snapname | volume <volname>)",
    "list": "snapshot list [volname]",
    "info": "snapshot info [(snapname | volume <volname>)]",
    "status": "snapshot status [(snapname | volume <volname>)]",
}
DEACTIVATE_QUESTION = "Deactivating snap will make its data inaccessible. Do you want to continue?"
DELETE_QUESTION = ("Deleting snap will erase all the information about the snap. "
                   "Do you still want to continue?")


class Output:
    def __init__(self):
        self.tty = os.isatty(1)
        self.held = bytearray()

    def out(self, text):
        data = text.encode()
        if self.tty:
            write_all(1, data)
        else:
            self.held += data

    def err(self, text):
        write_all(2, text.encode())

    def flush(self):
        write_all(1, bytes(self.held))
        self.held.clear()


def write_all(fd, data):
    while data:
        data = data[os.write(fd, data):]


class Failure(Exception):
    """A snapshot command that fails: `line` goes to stderr, rc 1."""

    def __init__(self, line, usage=False):
        super().__init__(line)
        self.line = line
        self.usage = usage


def confirm(question, out, script_mode):
    """Asks like the real CLI: prompt on stdout, one line read from stdin."""
    if script_mode:
        return True
    out.out(question + " (y/n) ")
    line = sys.stdin.buffer.readline()
    if not line:
        out.out("gluster cli read error\nInvalid input, please enter y/n\n")
        return False
    if not line.endswith(b"\n"):
        # The real CLI keeps reading for the end of the answer line and never
        # sees it: it waits for ever, its prompt still in its output buffer.
        while True:
            time.sleep(3600)
    answer = line.rstrip(b"\n").decode(errors="replace").lower()
    if answer in ("y", "yes"):
        return True
    if answer not in ("n", "no"):
        out.out("Invalid input, please enter y/n\n")
    return False


class RealVolume:
    """What the real CLI reports about a volume, or why it could not."""

    def __init__(self, name):
        self.name = name
        proc = subprocess.run([lay.REAL_GLUSTER, "--mode=script", "volume", "info", name],
                              stdin=subprocess.DEVNULL, capture_output=True, text=True)
        self.rc = proc.returncode
        self.stdout = proc.stdout
        self.stderr = proc.stderr
        self.exists = proc.returncode == 0
        self.status = ""
        self.bricks = []
        for line in proc.stdout.splitlines():
            if line.startswith("Status: "):
                self.status = line[len("Status: "):]
            m = re.match(r"Brick\d+: [^:]+:(.*)$", line)
            if m:
                self.bricks.append(m.group(1))

    @property
    def missing(self):
        return not self.exists and "does not exist" in self.stderr


class Snapshot:
    """One emulated `gluster snapshot ...` command."""

    def __init__(self, layout, out, script_mode):
        self.layout = layout
        self.out = out
        self.script_mode = script_mode
        self.store = snaps.SnapshotStore(layout)

    def run(self, args):
        verb = args[0] if args else ""
        handler = getattr(self, "do_" + verb, None)
        if not verb:
            self.out.err("\nUsage:\n" + usage_all())
            return 1
        try:
            if handler is None:
                raise Unsupported()
            return handler(args[1:])
        except Failure as failure:
            if failure.usage:
                self.out.err("%s\nUsage:\n%s\n\n" % (failure.line, USAGE[verb]))
            else:
                self.out.err(failure.line + "\n")
                self.out.out(FAILED)
            return 1
        except Unsupported:
            # Forms the sandbox does not emulate fail as on a node without LVM.
            self.out.err("snapshot %s: failed: LVM commands not found, snapshot functionality "
                         "is disabled\n" % verb)
            self.out.out(FAILED)
            return 1
        except RealCliError as e:
            self.out.err(e.answer.stderr)
            self.out.out(e.answer.stdout)
            return e.answer.rc

    def volume(self, name, missing_text):
        vol = RealVolume(name)
        if vol.missing:
            raise Failure(missing_text)
        if not vol.exists:
            raise RealCliError(vol)
        return vol

    def do_create(self, args):
        if len(args) < 2:
            raise Failure("", usage=True)
        name, volume, rest = args[0], args[1], args[2:]
        no_timestamp, description = False, ""
        while rest:
            word = rest.pop(0)
            if word == "no-timestamp":
                no_timestamp = True
            elif word == "description" and rest:
                description = rest.pop(0)
            elif word != "force":
                raise Failure("", usage=True)
        if not re.fullmatch(r"[A-Za-z0-9_-]+", name):
            raise Failure('Snapname can contain only alphanumeric, "-" and "_" characters\n',
                          usage=True)
        if len(name) >= 255:
            raise Failure("snapshot create: failed: snapname cannot exceed 255 characters")
        vol = self.volume(volume, "snapshot create: failed: Volume (%s) does not exist " % volume)
        if vol.status in NOT_STARTED_STATES:
            raise Failure("snapshot create: failed: volume %s is not started" % volume)
        final = name if no_timestamp else name + snaps.timestamp_suffix(time.time())
        with self.store as store:
            if store.find(final):
                raise Failure("snapshot create: failed: Snapshot %s already exists" % final)
            taken = len(store.of_volume(volume))
            if taken >= snaps.HARD_LIMIT:
                raise Failure(
                    "snapshot create: failed: The number of existing snaps has reached the "
                    "effective maximum limit of %d, for the volume (%s). Please delete few "
                    "snapshots before taking further snapshots." % (snaps.HARD_LIMIT, volume))
            store.create(final, volume, vol.bricks[0], description)
        self.out.out("snapshot create: success: Snap %s created successfully\n" % final)
        if taken + 1 >= snaps.soft_limit():
            self.out.out("Warning: Soft-limit of volume (%s) is reached. Snapshot creation is not "
                         "possible once hard-limit is reached.\n" % volume)
        return 0

    def single_name(self, args):
        if len(args) != 1:
            raise Failure("", usage=True)
        return args[0]

    def do_activate(self, args):
        force = len(args) == 2 and args[1] == "force"
        name = self.single_name(args[:1] if force else args)
        return self.switch(name, "activate", "Started", force)

    def do_deactivate(self, args):
        name = self.single_name(args)
        if not confirm(DEACTIVATE_QUESTION, self.out, self.script_mode):
            return 0
        return self.switch(name, "deactivate", "Stopped", False)

    def switch(self, name, verb, status, force):
        """Activates or deactivates a snapshot: `status` is the state it ends in."""
        done = verb + "d"
        with self.store as store:
            record = store.find(name)
            if record is None:
                raise Failure("snapshot %s: failed: Snapshot (%s) does not exist." % (verb, name))
            if record["status"] == status and not force:
                raise Failure("snapshot %s: failed: Snapshot %s is already %s." % (verb, name, done))
            record["status"] = status
            store.save()
        self.out.out("Snapshot %s: %s: Snap %s successfully\n" % (verb, name, done))
        return 0

    def do_delete(self, args):
        if args[:1] in (["all"], ["volume"]):
            raise Unsupported()
        name = self.single_name(args)
        if not confirm(DELETE_QUESTION, self.out, self.script_mode):
            return 0
        with self.store as store:
            record = store.find(name)
            if record is None:
                raise Failure("snapshot delete: failed: Snapshot (%s) does not exist" % name)
            store.delete(record)
        self.out.out("snapshot delete: %s: snap removed successfully\n" % name)
        return 0

    def do_list(self, args):
        if len(args) > 1:
            raise Failure("", usage=True)
        if args:
            self.volume(args[0], "Snapshot list : failed: Volume (%s) does not exist" % args[0])
        with self.store as store:
            records = store.of_volume(args[0]) if args else store.records
            names = [r["name"] for r in records]
        self.out.out("".join(n + "\n" for n in names) if names else "No snapshots present\n")
        return 0

    def do_info(self, args):
        if args[:1] == ["volume"]:
            if len(args) != 2:
                raise Failure("", usage=True)
            self.volume(args[1], "Snapshot info : failed: Volume (%s) does not exist" % args[1])
            with self.store as store:
                self.out.out(snaps.volume_info_block(store, args[1]))
            return 0
        if len(args) > 1:
            raise Failure("", usage=True)
        with self.store as store:
            if args:
                record = store.find(args[0])
                if record is None:
                    raise Failure("Snapshot info : failed: Snapshot (%s) does not exist" % args[0])
                records = [record]
            else:
                records = store.records
            text = "".join(snaps.info_block(store, r) for r in records)
        self.out.out(text or "No snapshots present\n")
        return 0

    def do_status(self, args):
        if args[:1] == ["volume"]:
            if len(args) != 2:
                raise Failure("", usage=True)
            self.volume(args[1], "Snapshot Status : failed: Volume (%s) does not exist" % args[1])
            pick = lambda store: store.of_volume(args[1])
        elif len(args) > 1:
            raise Failure("", usage=True)
        elif args:
            pick = lambda store: [store.find(args[0])]
        else:
            pick = lambda store: store.records
        with self.store as store:
            records = pick(store)
            if records == [None]:
                raise Failure("Snapshot Status : failed: Snapshot (%s) does not exist" % args[0])
            text = "".join(snaps.status_block(r) for r in records)
        self.out.out(text or "No snapshots present\n")
        return 0


class Unsupported(Exception):
    """A snapshot form the sandbox does not emulate."""


class RealCliError(Exception):
    """The real CLI could not answer (glusterd down, ...): its own error is passed on."""

    def __init__(self, answer):
        super().__init__(answer.stderr)
        self.answer = answer


def usage_all():
    return "".join(text + "\n" for text in USAGE.values()) + "\n"


def volume_info(args, layout, out):
    """`volume info` from the real CLI, with the emulated snapshots counted."""
    proc = subprocess.run([lay.REAL_GLUSTER] + args, stdin=subprocess.DEVNULL,
                          capture_output=True, text=True)
    with snaps.SnapshotStore(layout) as store:
        counts = {}
        for record in store.records:
            counts[record["volume"]] = counts.get(record["volume"], 0) + 1
    lines, volume = [], None
    for line in proc.stdout.splitlines(keepends=True):
        if line.startswith("Volume Name: "):
            volume = line[len("Volume Name: "):].rstrip("\n")
        elif line.startswith("Snapshot Count: ") and volume is not None:
            line = "Snapshot Count: %d\n" % counts.get(volume, 0)
        lines.append(line)
    out.err(proc.stderr)
    out.out("".join(lines))
    return proc.returncode


def split_options(argv):
    """Leading --options of the CLI, and the command words after them."""
    i = 0
    while i < len(argv) and argv[i].startswith("--"):
        i += 1
    return argv[:i], argv[i:]


def main(argv):
    layout = lay.current_layout()
    options, words = split_options(argv)
    if layout is None:
        os.execv(lay.REAL_GLUSTER, ["gluster"] + argv)
    out = Output()
    rc = run(layout, out, options, words, argv)
    out.flush()
    return rc


def run(layout, out, options, words, argv):
    node = os.environ.get("WQSANDBOX_NODE", "")
    rule = faults.take_rule(layout.ctl, "gluster", " ".join(argv), node)
    if rule is not None:
        out.out("".join(l + "\n" for l in rule.stdout))
        out.err("".join(l + "\n" for l in rule.stderr))
        if not rule.then_run:
            return rule.rc
    if words[:1] == ["snapshot"] and "--xml" not in options:
        script_mode = "--mode=script" in options
        return Snapshot(layout, out, script_mode).run(words[1:])
    if words[:2] == ["volume", "info"]:
        return volume_info(argv, layout, out)
    out.flush()
    sys.stdout.flush()
    os.execv(lay.REAL_GLUSTER, ["gluster"] + argv)
    return 127
