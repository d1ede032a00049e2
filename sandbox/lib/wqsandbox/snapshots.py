"""Emulated GlusterFS snapshots.

Real snapshots need bricks on thin LVM, which the sandbox cannot offer, so a
snapshot here is a copy of the origin volume's brick files taken at creation.
The records live in one JSON file of the state directory; every command holds
the sandbox's gluster lock while it reads and writes them, so commands from
several nodes may run at once.
"""

import os
import shutil
import subprocess
import time
import uuid

from . import layout as lay

HARD_LIMIT = 256
SOFT_LIMIT_PERCENT = 90


class SnapshotStore:
    """The snapshot records, in creation order, valid inside `with store:`."""

    def __init__(self, layout):
        self.layout = layout
        self.records = []
        self._lock = None

    def __enter__(self):
        self._lock = lay.locked(self.layout.gluster_lock)
        self._lock.__enter__()
        self.records = lay.read_json(self.layout.snapshot_db, {"snapshots": []})["snapshots"]
        return self

    def __exit__(self, *exc):
        self._lock.__exit__(*exc)
        return False

    def save(self):
        lay.write_json_atomic(self.layout.snapshot_db, {"snapshots": self.records})

    def find(self, name):
        for record in self.records:
            if record["name"] == name:
                return record
        return None

    def of_volume(self, volume):
        return [r for r in self.records if r["volume"] == volume]

    def data_dir(self, record):
        return os.path.join(self.layout.snaps, record["name"], "data")

    def create(self, name, volume, brick_path, description):
        """Copies the brick's files and adds a deactivated snapshot record."""
        now = time.time()
        record = {
            "name": name,
            "uuid": str(uuid.uuid4()),
            "snap_volume": uuid.uuid4().hex,
            "volume": volume,
            "created": int(now),
            "description": description,
            "status": "Stopped",
            "brick": brick_path,
        }
        target = self.data_dir(record)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        # cp -a keeps what a snapshot keeps and copytree loses: FIFOs, sockets and devices
        # as what they are, and hard links. The brick's .glusterfs holds gfid links and
        # internal state, not volume data.
        subprocess.run(["cp", "-a", "--", os.path.join(brick_path, "."), target], check=True,
                       stdout=subprocess.DEVNULL)
        shutil.rmtree(os.path.join(target, ".glusterfs"), ignore_errors=True)
        copy_owners(brick_path, target)
        self.records.append(record)
        self.save()
        return record

    def delete(self, record):
        self.records.remove(record)
        self.save()
        shutil.rmtree(os.path.join(self.layout.snaps, record["name"]), ignore_errors=True)


def copy_owners(source, target):
    """Gives the copy the owners of the brick's files, as a snapshot keeps them.

    cp -a keeps them only where it may; this sets them again, without following
    links; chown and chmod leave modification times alone.
    """
    for directory, names, files in os.walk(target):
        for name in names + files + [""]:
            copied = os.path.join(directory, name) if name else directory
            original = os.path.join(source, os.path.relpath(copied, target))
            if not os.path.lexists(original):
                continue
            info = os.lstat(original)
            os.lchown(copied, info.st_uid, info.st_gid)
            if not os.path.islink(copied):
                # chown clears the set-user-id and set-group-id bits.
                os.chmod(copied, info.st_mode & 0o7777)


def soft_limit():
    return HARD_LIMIT * SOFT_LIMIT_PERCENT // 100


def timestamp_suffix(now):
    return time.strftime("_GMT-%Y.%m.%d-%H.%M.%S", time.gmtime(now))


def created_text(record):
    return time.strftime("%Y-%m-%d %H:%M:%S +0000", time.gmtime(record["created"]))


def head(label, value, indent=""):
    """One label line of the info output: the label padded to 25 columns."""
    return "%s%-25s : %s\n" % (indent, label, value)


def info_block(store, record):
    """`snapshot info` of one snapshot."""
    volume = record["volume"]
    taken = len(store.of_volume(volume))
    text = head("Snapshot", record["name"]) + head("Snap UUID", record["uuid"])
    if record.get("description"):
        text += head("Description", record["description"])
    text += head("Created", created_text(record))
    text += "Snap Volumes:\n\n"
    text += head("Snap Volume Name", record["snap_volume"], "\t")
    text += head("Origin Volume name", volume, "\t")
    text += "\tSnaps taken for %s      : %d\n" % (volume, taken)
    text += "\tSnaps available for %s  : %d\n" % (volume, HARD_LIMIT - taken)
    text += head("Status", record["status"], "\t")
    return text + " \n"


def volume_info_block(store, volume):
    """`snapshot info volume VOL`."""
    records = store.of_volume(volume)
    text = head("Volume Name", volume) + head("Snaps Taken", len(records))
    text += head("Snaps Available", HARD_LIMIT - len(records))
    for record in records:
        text += head("Snapshot", record["name"], "\t") + head("Snap UUID", record["uuid"], "\t")
        if record.get("description"):
            text += head("Description", record["description"], "\t")
        text += head("Created", created_text(record), "\t")
        text += head("Status", record["status"], "\t") + " \n"
    return text


def status_block(record):
    """`snapshot status` of one snapshot: one brick, no LVM facts to report."""
    running = "Yes" if record["status"] == "Started" else "No"
    brick = "%s:/run/gluster/snaps/%s/brick1/%s" % (
        lay.BRICK_HOST, record["snap_volume"], os.path.basename(record["brick"]))
    text = "\nSnap Name : %s\nSnap UUID : %s\n" % (record["name"], record["uuid"])
    text += "\n\t%-17s :   %s\n" % ("Brick Path", brick)
    for label, value in (("Volume Group", "N/A"), ("Brick Running", running), ("Brick PID", "N/A"),
                         ("Data Percentage", "N/A"), ("LV Size", "N/A")):
        text += "\t%-17s :   %s\n" % (label, value)
    return text
