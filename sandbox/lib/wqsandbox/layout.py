"""Where a sandbox keeps its state, and the facts every tool of it shares.

The state directory is the only place a sandbox writes to. Inside the sandbox's
mount namespace /run is private, and /run/wq-sandbox points at the state
directory, so helpers started by mount(8) or sshd (which do not inherit the
caller's environment) still find it.
"""

import contextlib
import fcntl
import json
import os
import sys

# Bricks cannot live on loopback addresses, so the sandbox gives its network
# namespace one address from the documentation range for them.
BRICK_HOST = "192.0.2.1"
NODE_USER = "wqnode"
RUN_LINK = "/run/wq-sandbox"
REAL_GLUSTER = "/usr/sbin/gluster"
MOUNT_HELPER = "/sbin/mount.glusterfs"
SANDBOX_TOOLS = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def node_address(index):
    """Address of node `index` (1-based): node 1 is 127.0.0.2."""
    return "127.0.0.%d" % (index + 1)


class Layout:
    """Paths inside one state directory."""

    def __init__(self, root):
        self.root = os.path.abspath(root)

    def path(self, *parts):
        return os.path.join(self.root, *parts)

    @property
    def config_file(self):
        return self.path("sandbox.json")

    @property
    def ctl(self):
        return self.path("ctl")

    def ctl_node(self, node):
        return self.path("ctl", "node", node)

    def node_dir(self, node):
        return self.path("nodes", node)

    def node_bin(self, node):
        return self.path("nodes", node, "bin")

    @property
    def container_bin(self):
        return self.path("container", "bin")

    @property
    def bricks(self):
        return self.path("bricks")

    @property
    def snaps(self):
        return self.path("snaps")

    @property
    def snapshot_db(self):
        return self.path("gluster", "snapshots.json")

    @property
    def mounts_db(self):
        return self.path("gluster", "snapshot-mounts.json")

    @property
    def gluster_lock(self):
        return self.path("gluster", "lock")

    @property
    def live_mounts(self):
        return self.path("mnt")

    @property
    def log_dir(self):
        return self.path("log")

    @property
    def keys(self):
        return self.path("keys")


def current_layout():
    """The layout of the sandbox this process runs in, or None outside of one."""
    root = os.environ.get("WQSANDBOX_DIR")
    if not root and os.path.isdir(RUN_LINK):
        root = os.path.realpath(RUN_LINK)
    if not root or not os.path.isfile(os.path.join(root, "sandbox.json")):
        return None
    return Layout(root)


def layout_or_complain(tool):
    """The current layout; outside a sandbox, None after saying so on stderr."""
    layout = current_layout()
    if layout is None:
        sys.stderr.write("%s: not inside a sandbox\n" % tool)
    return layout


def load_config(layout):
    with open(layout.config_file, encoding="utf-8") as f:
        return json.load(f)


def write_json_atomic(path, value):
    tmp = "%s.%d.tmp" % (path, os.getpid())
    with open(tmp, "w", encoding="utf-8") as f:
        json.dump(value, f, indent=1, sort_keys=True)
        f.write("\n")
    os.replace(tmp, path)


def read_json(path, default):
    try:
        with open(path, encoding="utf-8") as f:
            return json.load(f)
    except FileNotFoundError:
        return default


@contextlib.contextmanager
def locked(path):
    """Holds an exclusive lock on `path` (created if needed) for the block."""
    fd = os.open(path, os.O_RDWR | os.O_CREAT, 0o600)
    try:
        fcntl.flock(fd, fcntl.LOCK_EX)
        yield
    finally:
        os.close(fd)
