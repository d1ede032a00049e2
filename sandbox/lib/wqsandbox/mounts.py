"""The mount table and the mount system calls the sandbox needs."""

import ctypes
import os

MS_RDONLY = 1
MS_REMOUNT = 32
MS_BIND = 4096
MNT_DETACH = 2

_libc = ctypes.CDLL(None, use_errno=True)


def _check(result, target):
    if result != 0:
        err = ctypes.get_errno()
        raise OSError(err, os.strerror(err), target)


def mount(source, target, fstype=None, flags=0, data=None):
    encode = lambda text: text.encode() if text is not None else None
    _check(_libc.mount(encode(source), encode(target), encode(fstype), flags, encode(data)), target)


def bind(source, target, read_only=False):
    mount(source, target, flags=MS_BIND)
    if read_only:
        mount(None, target, flags=MS_REMOUNT | MS_BIND | MS_RDONLY)


def detach(target):
    _check(_libc.umount2(target.encode(), MNT_DETACH), target)


class Entry:
    def __init__(self, mount_id, point, fstype):
        self.id = mount_id
        self.point = point
        self.fstype = fstype


def table():
    """Every mount this process sees, parents before their children."""
    entries = []
    with open("/proc/self/mountinfo", encoding="utf-8") as f:
        for line in f:
            left, _, right = line.partition(" - ")
            fields = left.split()
            entries.append(Entry(int(fields[0]), unescape(fields[4]), right.split()[0]))
    return entries


def unescape(text):
    """Undoes the octal escapes (\\040 for a blank) of the kernel's mount tables."""
    out, i = [], 0
    while i < len(text):
        if text[i] == "\\" and text[i + 1:i + 4].isdigit():
            out.append(chr(int(text[i + 1:i + 4], 8)))
            i += 4
        else:
            out.append(text[i])
            i += 1
    return "".join(out)
