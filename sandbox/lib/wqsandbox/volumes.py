"""Live GlusterFS volumes: wq-provision creates them, wq-volume mounts and fills them.

  wq-provision VOLNAME [--no-start]   create a one-brick volume (and start it);
                                      prints nothing on success
  wq-volume mount VOLNAME DIR         mount the live volume with the FUSE client
  wq-volume umount DIR
  wq-volume write VOLNAME PATH [TEXT] write TEXT (or standard input) to PATH
                                      inside the volume, through a FUSE mount
                                      the sandbox keeps until it ends
"""

import argparse
import os
import subprocess
import sys

from . import layout as lay
from . import mounts


def gluster(args):
    return subprocess.run([lay.REAL_GLUSTER, "--mode=script"] + args, stdin=subprocess.DEVNULL,
                          capture_output=True, text=True)


def provision_main(argv):
    parser = argparse.ArgumentParser(prog="wq-provision",
                                     description="Create (and start) a one-brick volume.")
    parser.add_argument("volume")
    parser.add_argument("--no-start", action="store_true")
    args = parser.parse_args(argv)
    layout = lay.layout_or_complain("wq-provision")
    if layout is None:
        return 2
    brick = os.path.join(layout.bricks, args.volume)
    # `force`: the brick is a plain directory on the root file system.
    steps = [["volume", "create", args.volume, "%s:%s" % (lay.BRICK_HOST, brick), "force"]]
    if not args.no_start:
        steps.append(["volume", "start", args.volume])
    for step in steps:
        proc = gluster(step)
        if proc.returncode != 0:
            sys.stderr.write(proc.stderr + proc.stdout)
            return 1
    return 0


def mount_live(volume, directory):
    os.makedirs(directory, exist_ok=True)
    proc = subprocess.run(["mount", "-t", "glusterfs", "%s:/%s" % (lay.BRICK_HOST, volume),
                           directory], stdin=subprocess.DEVNULL, capture_output=True, text=True)
    if proc.returncode != 0:
        sys.stderr.write(proc.stderr + proc.stdout)
    return proc.returncode


def sandbox_mount(layout, volume):
    """The sandbox's own mount of `volume`, made on first use."""
    directory = os.path.join(layout.live_mounts, volume)
    if any(e.point == directory and e.fstype == "fuse.glusterfs" for e in mounts.table()):
        return directory
    return directory if mount_live(volume, directory) == 0 else None


def volume_main(argv):
    parser = argparse.ArgumentParser(prog="wq-volume", description="Use live volumes.")
    sub = parser.add_subparsers(dest="what", required=True)
    p = sub.add_parser("mount")
    p.add_argument("volume")
    p.add_argument("dir")
    sub.add_parser("umount").add_argument("dir")
    p = sub.add_parser("write")
    p.add_argument("volume")
    p.add_argument("path")
    p.add_argument("text", nargs="?")
    args = parser.parse_args(argv)
    layout = lay.layout_or_complain("wq-volume")
    if layout is None:
        return 2
    if args.what == "mount":
        return mount_live(args.volume, args.dir)
    if args.what == "umount":
        return subprocess.run(["umount", args.dir]).returncode
    directory = sandbox_mount(layout, args.volume)
    if directory is None:
        return 1
    target = os.path.join(directory, args.path.lstrip("/"))
    os.makedirs(os.path.dirname(target), exist_ok=True)
    data = args.text.encode() if args.text is not None else sys.stdin.buffer.read()
    with open(target, "wb") as f:
        f.write(data)
    return 0
