"""mount.glusterfs inside the sandbox (bind-mounted over the machine's helper).

Sources below /snaps/ name an emulated snapshot: they become read-only bind
mounts of the snapshot's copy, and fail like the real helper when the snapshot
is missing or not activated. Every other source goes to the real helper, run
under the name /sbin/mount.glusterfs so that its messages read as usual.
"""

import os
import sys

from . import faults
from . import layout as lay
from . import mounts
from . import snapshots as snaps


def mount_snapshot(layout, source, target, program):
    """Mounts /snaps/SNAP/VOL; returns the exit code the real helper would give."""
    parts = source.split(":", 1)[1].split("/")
    snapshot, volume = (parts[2], "/".join(parts[3:])) if len(parts) >= 4 else ("", "")
    if not os.path.isdir(target):
        sys.stderr.write("ERROR: Mount point does not exist\nPlease specify a mount point\n"
                         "Usage:\nman 8 %s\n" % program)
        return 1
    with snaps.SnapshotStore(layout) as store:
        mounted = lay.read_json(layout.mounts_db, {})
        table = [(e.point, e.fstype) for e in mounts.table()]
        busy = (target, "fuse.glusterfs") in table or \
            (mounted.get(target) and any(point == target for point, _ in table))
        if busy:
            sys.stderr.write("%s: according to mtab, GlusterFS is already mounted on %s\n"
                             % (program, target))
            return 32
        record = store.find(snapshot)
        usable = record is not None and record["status"] == "Started" and \
            volume in (record["volume"], record["snap_volume"])
        if not usable:
            sys.stderr.write("Mounting glusterfs on %s failed.\n" % target)
            return 1
        # Snapshot mounts are read-only whatever the options say, as with glusterd's
        # read-only translator in every snapshot client graph.
        try:
            mounts.bind(store.data_dir(record), target, read_only=True)
        except OSError as e:
            sys.stderr.write("%s\nMounting glusterfs on %s failed.\n" % (e, target))
            return 1
        mounted[target] = snapshot
        lay.write_json_atomic(layout.mounts_db, mounted)
    return 0


def main(argv):
    program = lay.MOUNT_HELPER
    layout = lay.current_layout()
    real = os.path.join(layout.root, "mount.glusterfs.real") if layout else None
    if layout is None or len(argv) < 2:
        return run_real(real, program, argv)
    source, target = argv[0], argv[1]
    rule = faults.take_rule(layout.ctl, "mount", "%s %s" % (source, target))
    if rule is not None:
        sys.stdout.write("".join(l + "\n" for l in rule.stdout))
        sys.stderr.write("".join(l + "\n" for l in rule.stderr))
        sys.stdout.flush()
        sys.stderr.flush()
        if not rule.then_run:
            return rule.rc
    if ":" in source and source.split(":", 1)[1].startswith("/snaps/"):
        return mount_snapshot(layout, source, target, program)
    return run_real(real, program, argv)


def run_real(real, program, argv):
    if real is None or not os.path.exists(real):
        sys.stderr.write("%s: the real mount helper is not available\n" % program)
        return 1
    with open(real, encoding="utf-8") as f:
        script = f.read()
    # `sh -c SCRIPT NAME ARGS` runs the helper with $0 set to its usual name.
    os.execv("/bin/sh", ["sh", "-c", script, program] + argv)
    return 1
